(function () {
    var mermaidTheme = null;

    // Mermaid's theme follows the scheme the app gave the page; "light dark"
    // falls back to the media query.
    function prefersDark() {
        var scheme = document.documentElement.style.colorScheme
            || getComputedStyle(document.documentElement).colorScheme || '';
        if (scheme.indexOf('dark') >= 0 && scheme.indexOf('light') < 0) return true;
        if (scheme.indexOf('light') >= 0 && scheme.indexOf('dark') < 0) return false;
        return window.matchMedia && window.matchMedia('(prefers-color-scheme: dark)').matches;
    }

    // Set up when the first diagram is drawn, and again when the scheme the
    // app assigned has changed since: every update brings fresh diagram
    // sources, so the next one is drawn in the new scheme.
    function setUpMermaid() {
        if (typeof mermaid === 'undefined') return;
        var theme = prefersDark() ? 'dark' : 'default';
        if (mermaidTheme === theme) return;
        try {
            mermaid.initialize({ startOnLoad: false, securityLevel: 'strict', theme: theme });
            mermaidTheme = theme;
        } catch (e) { }
    }

    // Every update replaces the whole body, so formulas are typeset again and
    // again; their output is kept by source, and an edit costs only the
    // formulas it changed.
    var mathCache = new Map();
    function memoiseMath() {
        var k = window.katex;
        if (!k || typeof k.render !== 'function' || k.__sorvaneMemo) return;
        var render = k.render;
        k.render = function (tex, element, options) {
            var key = (options && options.displayMode ? 'D' : 'I') + tex;
            var html = mathCache.get(key);
            if (html === undefined) {
                render(tex, element, options);
                if (mathCache.size > 20000) mathCache.clear();
                mathCache.set(key, element.innerHTML);
            } else {
                element.innerHTML = html;
            }
        };
        k.__sorvaneMemo = true;
    }

    window.__sorvaneRenderRichContent = function () {
        var root = document.getElementById('content') || document.body;
        if (typeof renderMathInElement === 'function') {
            try {
                memoiseMath();
                renderMathInElement(root, {
                    delimiters: [
                        { left: '$$', right: '$$', display: true },
                        { left: '\\[', right: '\\]', display: true },
                        { left: '$', right: '$', display: false },
                        { left: '\\(', right: '\\)', display: false }
                    ],
                    throwOnError: false,
                    ignoredTags: ['script', 'noscript', 'style', 'textarea', 'pre', 'code']
                });
            } catch (e) { }
        }
        if (typeof mermaid !== 'undefined') {
            try {
                var nodes = root.querySelectorAll('.mermaid:not([data-processed="true"])');
                if (nodes.length > 0) {
                    setUpMermaid();
                    mermaid.run({ nodes: nodes, suppressErrors: true });
                }
            } catch (e) { }
        }
    };

    if (document.readyState === 'loading')
        document.addEventListener('DOMContentLoaded', window.__sorvaneRenderRichContent);
    else
        window.__sorvaneRenderRichContent();
})();
