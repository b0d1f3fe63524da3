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
    // app assigned has changed since: the next update redraws every diagram
    // drawn in the old scheme.
    function setUpMermaid() {
        if (typeof mermaid === 'undefined') return;
        var theme = prefersDark() ? 'dark' : 'default';
        if (mermaidTheme === theme) return;
        try {
            mermaid.initialize({ startOnLoad: false, securityLevel: 'strict', theme: theme });
            mermaidTheme = theme;
        } catch (e) { }
    }

    // A new shell, or a block the updater replaces, typesets its formulas
    // again; their output is kept by source, so repeats cost nothing.
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

    // Math comes marked up by the renderer, delimiters kept as text: only
    // those elements are typeset, so a stray "$" in prose never is.
    var MATH = '.math-inline, .math-display';
    function typeset(k, element) {
        var display = element.classList.contains('math-display');
        var cut = display ? 2 : 1;
        var tex = element.textContent;
        tex = tex.slice(cut, tex.length - cut);
        element.setAttribute('data-typeset', '');
        k.render(tex, element, { displayMode: display, throwOnError: false });
    }

    function renderMath(element) {
        var k = window.katex;
        if (!k || typeof k.render !== 'function') return;
        memoiseMath();
        var all = element.querySelectorAll(MATH);
        for (var i = 0; i < all.length; i++) {
            if (all[i].hasAttribute('data-typeset')) continue;
            try { typeset(k, all[i]); } catch (e) { }
        }
    }

    // Draws the diagrams not drawn yet; answers the theme they get, or null
    // when there was none. Each keeps its source, to be drawn again in
    // another scheme; taken as text, so nothing in it becomes markup.
    var running = 0, redrawWanted = false;
    function renderDiagrams(nodes) {
        if (typeof mermaid === 'undefined' || nodes.length === 0) return null;
        try {
            for (var i = 0; i < nodes.length; i++)
                if (nodes[i].getAttribute('data-processed') !== 'true')
                    nodes[i].setAttribute('data-sorvane-source', nodes[i].textContent);
            setUpMermaid();
            var done = mermaid.run({ nodes: nodes, suppressErrors: true });
            running++;
            Promise.resolve(done).catch(function () { }).then(function () {
                if (--running === 0 && redrawWanted) redrawDiagrams();
            });
        } catch (e) { }
        return mermaidTheme;
    }

    // A new scheme redraws every diagram from its source. Mermaid would take
    // a diagram it is still drawing for its own output, so a redraw waits
    // until no drawing is under way; a burst of switches ends in one redraw.
    function redrawDiagrams() {
        if (typeof mermaid === 'undefined' || mermaidTheme === null) return;
        if (running > 0) { redrawWanted = true; return; }
        redrawWanted = false;
        if ((prefersDark() ? 'dark' : 'default') === mermaidTheme) return;
        var root = document.getElementById('content') || document.body;
        var nodes = root.querySelectorAll('.mermaid[data-sorvane-source]');
        for (var i = 0; i < nodes.length; i++) {
            nodes[i].removeAttribute('data-processed');
            nodes[i].textContent = nodes[i].getAttribute('data-sorvane-source');
        }
        if (nodes.length) renderDiagrams(nodes);
        else mermaidTheme = null;
    }
    new MutationObserver(redrawDiagrams).observe(document.documentElement,
        { attributes: true, attributeFilter: ['style'] });
    if (window.matchMedia) {
        var media = window.matchMedia('(prefers-color-scheme: dark)');
        if (media.addEventListener) media.addEventListener('change', redrawDiagrams);
    }

    // The updater renders only the blocks it replaced, through these.
    window.__sorvaneRich = {
        math: renderMath,
        diagrams: renderDiagrams,
        // The theme a diagram drawn now would get.
        diagramTheme: function () {
            if (typeof mermaid === 'undefined') return null;
            return prefersDark() ? 'dark' : 'default';
        }
    };

    window.__sorvaneRenderRichContent = function () {
        var root = document.getElementById('content') || document.body;
        renderMath(root);
        if (typeof mermaid !== 'undefined') {
            try {
                renderDiagrams(root.querySelectorAll('.mermaid:not([data-processed="true"])'));
            } catch (e) { }
        }
    };

    if (document.readyState === 'loading')
        document.addEventListener('DOMContentLoaded', window.__sorvaneRenderRichContent);
    else
        window.__sorvaneRenderRichContent();
})();
