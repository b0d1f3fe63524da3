function updateContent(base64) {
    try {
        var binary = atob(base64);
        var bytes = new Uint8Array(binary.length);
        for (var i = 0; i < binary.length; i++) bytes[i] = binary.charCodeAt(i);
        var html = new TextDecoder('utf-8').decode(bytes);
        document.getElementById('content').innerHTML = html;
        if (typeof window.__sorvaneRenderRichContent === 'function') window.__sorvaneRenderRichContent();
    } catch (e) {
        console.error('Failed to update content:', e);
    }
}
