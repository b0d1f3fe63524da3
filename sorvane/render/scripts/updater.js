// The content is kept as a list of pieces of the last fragment's text, each
// with the nodes it was rendered to. A piece is cut where a line opens a
// block, and kept only when the parser, given the piece alone, ends it in the
// state it started from: then parsing the pieces one by one builds exactly
// what parsing the whole fragment builds. A new fragment reuses the pieces it
// still starts and ends with, and parses, typesets and inserts only the text
// between them, so an edit costs what it touched, not the whole document.
var __sorvaneUpdater = (function () {
    var pieces = null;

    function decode(base64) {
        var binary = atob(base64);
        // Plain ASCII is already the text; only other bytes need UTF-8.
        if (!/[^\x00-\x7f]/.test(binary)) return binary;
        var bytes = new Uint8Array(binary.length);
        for (var i = 0; i < binary.length; i++) bytes[i] = binary.charCodeAt(i);
        return new TextDecoder('utf-8').decode(bytes);
    }

    // Parsed after a piece, this comes out as two plain top-level elements
    // only when nothing was left open: no element (the span would nest), no
    // formatting to reopen (it would wrap the span), no form (the second form
    // would be dropped), no unfinished tag, comment or raw text.
    var PROBE = '<span>x</span><form></form>';

    // Pieces are tried in a document of their own, apart from the page. It
    // runs no script, so it would read <noscript> as markup: a fragment with
    // one is tried in the page.
    var trial = null;
    var trialInPage = false;
    function parse(text, inPage) {
        var box = (inPage ? document : trial).createElement('div');
        box.innerHTML = text;
        return box;
    }

    // How many top-level nodes a piece gives when parsed alone, or -1 when it
    // does not close itself. Past the start of the fragment a piece must not
    // begin with text, which would have joined the text before it. The check
    // reads the markup back rather than the nodes: handles on nodes of the
    // trial document are costly.
    function tryPiece(text, atStart) {
        var box = parse(text + PROBE, trialInPage);
        var markup = box.innerHTML;
        if (!markup.endsWith(PROBE)) return -1;
        var count = box.childNodes.length - 2;
        // Text in markup never starts with "<": that is escaped.
        if (!atStart && (count === 0 || markup.charCodeAt(0) !== 60)) return -1;
        return count;
    }

    // A line that opens a block. Inline markup may start a line inside a
    // paragraph, and list and table parts never stand alone.
    var cutPoint = /\n<(?:p|h[1-6]|ul|ol|pre|blockquote|table|hr|div|section|dl|details|figure)[\s\/>]/g;
    function nextCut(html, from, limit) {
        cutPoint.lastIndex = from;
        var found = cutPoint.exec(html);
        return !found || found.index + 1 >= limit ? limit : found.index + 1;
    }

    // A slice keeps the whole text it was cut from alive: the few pieces an
    // edit makes get their own copy, or every edit would keep its document.
    function own(text) {
        return (' ' + text).slice(1);
    }

    // A piece's `count` is -1 for one that runs to the end of the fragment.
    function piece(text, count, atStart) {
        return { text: text, count: count, nodes: [], atStart: atStart, diagrams: 0, theme: null };
    }

    // Cuts html[from, to) into closed pieces. A stretch that will not close
    // (an unclosed raw tag, say) takes everything to the end of the fragment;
    // `open` tells that the pieces after `to` are no longer usable. The work
    // can stop at a deadline and go on from there (cutSome answers whether it
    // is done): a first fill is cut while the page is idle.
    function cutter(html, from, to) {
        return {
            html: html, pos: from, to: to, pieces: [], open: false, inPage: trialInPage, trial: null,
            copy: to - from < html.length / 2 ? own : function (text) { return text; }
        };
    }

    function cutSome(c, deadline) {
        var html = c.html, to = c.to, out = c.pieces, copy = c.copy;
        if (!c.trial) c.trial = document.implementation.createHTMLDocument('');
        trial = c.trial;
        trialInPage = c.inPage;
        while (c.pos < to) {
            if (deadline && performance.now() > deadline) break;
            var pos = c.pos;
            var end = nextCut(html, pos + 1, to);
            var count = tryPiece(html.slice(pos, end), pos === 0);
            // A raw block may span several lines: try the next few, then
            // doubling stretches, before giving up.
            for (var step = 1, tries = 0; count < 0 && end < to && step < 4096; tries++) {
                if (tries >= 8) step *= 2;
                for (var k = 0; k < step && end < to; k++) end = nextCut(html, end + 1, to);
                count = tryPiece(html.slice(pos, end), pos === 0);
            }
            if (count < 0) {
                out.push(piece(copy(html.slice(pos)), -1, pos === 0));
                c.open = true;
                c.pos = to;
                break;
            }
            out.push(piece(copy(html.slice(pos, end)), count, pos === 0));
            c.pos = end;
        }
        trial = null;
        if (c.pos < to) return false;
        c.trial = null;
        return true;
    }

    function cut(html, from, to) {
        var c = cutter(html, from, to);
        cutSome(c, 0);
        return c;
    }

    // The pieces still describe the element, or null when something else
    // changed it.
    function currentPieces(content) {
        if (!pieces) return content.firstChild ? null : [];
        var count = 0;
        for (var i = 0; i < pieces.length; i++) {
            var nodes = pieces[i].nodes;
            if (nodes.length && nodes[0].parentNode !== content) return null;
            count += nodes.length;
        }
        return count === content.childNodes.length ? pieces : null;
    }

    var diagramSelector = '.mermaid:not([data-processed="true"])';
    function pendingDiagrams(node, into) {
        if (node.nodeType !== 1) return 0;
        var before = into.length;
        if (node.matches(diagramSelector)) into.push(node);
        var inner = node.querySelectorAll(diagramSelector);
        for (var i = 0; i < inner.length; i++) into.push(inner[i]);
        return into.length - before;
    }

    // Parses a run of new pieces in one go (that gives the nodes the pieces
    // give one by one), typesets it in one pass, as a whole-page pass would
    // see it, and inserts it before `before`. Answers the run's pieces.
    function render(content, run, before, diagrams) {
        if (run.length === 0) return run;
        var text = '';
        var expected = 0;
        for (var p = 0; p < run.length; p++) {
            text += run[p].text;
            if (run[p].count > 0) expected += run[p].count;
        }
        var box = parse(text, true);
        var all = box.childNodes.length;
        // Only an open piece, the last, has no count. Very long text is split
        // into nodes where the parser likes: then the run stays one piece.
        var open = run[run.length - 1].count < 0;
        if (open ? expected > all : expected !== all)
            run = [piece(text, open ? -1 : all, run[0].atStart)];
        var sources = Array.prototype.slice.call(box.childNodes);
        var ownerOf = new Map();
        var at = 0;
        for (p = 0; p < run.length; p++) {
            var take = run[p].count < 0 ? all - at : run[p].count;
            for (var k = 0; k < take; k++) ownerOf.set(sources[at++], p);
        }
        if (window.__sorvaneRich) window.__sorvaneRich.math(box);
        // Elements stay themselves; a text node with formulas became several
        // nodes standing where it stood, after the nodes before it.
        var current = 0;
        for (var n = box.firstChild; n; n = n.nextSibling) {
            var owner = ownerOf.get(n);
            if (owner !== undefined) current = owner;
            run[current].nodes.push(n);
            run[current].diagrams += pendingDiagrams(n, diagrams);
        }
        var fragment = document.createDocumentFragment();
        while (box.firstChild) fragment.appendChild(box.firstChild);
        content.insertBefore(fragment, before);
        return run;
    }

    function remove(p) {
        for (var i = 0; i < p.nodes.length; i++) p.nodes[i].remove();
    }

    function firstNodeFrom(list, index) {
        for (var i = index; i < list.length; i++)
            if (list[i].nodes.length) return list[i].nodes[0];
        return null;
    }

    // A fill of an empty page is parsed whole and shown from the top: the
    // first blocks go in at once, the rest (typeset) while the page is idle,
    // in batches that double, as each lays out all the page holds, and the
    // fragment is cut into pieces after that. An update that comes first
    // finishes the work before it.
    var pending = null;
    var workQueued = false;
    var FIRST_BLOCKS = 200;
    var BUDGET_MS = 12;

    function hasDiagram(p) {
        for (var i = 0; i < p.nodes.length; i++) {
            var n = p.nodes[i];
            if (n.nodeType === 1 && (n.matches('.mermaid') || n.querySelector('.mermaid'))) return true;
        }
        return false;
    }

    // Moves the fill's next `count` nodes into the page, typeset.
    function show(fill, count) {
        var end = Math.min(fill.shown + count, fill.nodes.length);
        if (end <= fill.shown) return;
        var batch = document.createDocumentFragment();
        for (var i = fill.shown; i < end; i++) batch.appendChild(fill.nodes[i]);
        fill.shown = end;
        var rich = window.__sorvaneRich;
        if (rich) rich.math(batch);
        var diagrams = Array.prototype.slice.call(batch.querySelectorAll(diagramSelector));
        fill.content.appendChild(batch);
        if (rich && diagrams.length) {
            var theme = rich.diagrams(diagrams);
            if (theme) fill.theme = theme;
        }
    }

    // The pieces of a fill get its nodes in order, as render gives them.
    function settle() {
        if (!pending) return;
        var fill = pending;
        pending = null;
        show(fill, fill.nodes.length);
        cutSome(fill.cutter, 0);
        var list = fill.cutter.pieces, nodes = fill.nodes;
        var expected = 0;
        for (var i = 0; i < list.length; i++)
            if (list[i].count > 0) expected += list[i].count;
        var open = list.length > 0 && list[list.length - 1].count < 0;
        if (open ? expected > nodes.length : expected !== nodes.length)
            list = [piece(fill.cutter.html, open ? -1 : nodes.length, true)];
        var at = 0;
        for (i = 0; i < list.length; i++) {
            var take = list[i].count < 0 ? nodes.length - at : list[i].count;
            list[i].nodes = nodes.slice(at, at + take);
            at += take;
            if (fill.theme && hasDiagram(list[i])) list[i].theme = fill.theme;
        }
        pieces = list;
    }

    function work() {
        workQueued = false;
        if (!pending) return;
        if (pending.shown < pending.nodes.length) show(pending, pending.shown);
        else if (cutSome(pending.cutter, performance.now() + BUDGET_MS)) settle();
        if (pending) later();
    }

    function later() {
        if (workQueued) return;
        workQueued = true;
        setTimeout(work, 0);
    }

    function fill(content, html) {
        var box = parse(html, true);
        pending = {
            content: content, nodes: Array.prototype.slice.call(box.childNodes), shown: 0,
            cutter: cutter(html, 0, html.length), theme: null
        };
        pieces = [];
        show(pending, FIRST_BLOCKS);
        later();
    }

    function apply(content, html) {
        settle();
        trialInPage = /<noscript/i.test(html);
        var old = currentPieces(content);
        // \gdef and friends reach from one formula into later ones: such a
        // document is typeset in one pass.
        var global = /\\(?:gdef|xdef|global)/.test(html);
        if (old === null || global) {
            content.textContent = '';
            old = [];
        }
        if (old.length === 0 && !content.firstChild && html.length > 0 && !global) {
            fill(content, html);
            return;
        }
        var m = old.length;
        var start = 0, pos = 0;
        while (start < m && html.startsWith(old[start].text, pos)
               && (old[start].count >= 0 || pos + old[start].text.length === html.length)) {
            pos += old[start].text.length;
            start++;
        }
        var end = 0, tail = html.length;
        while (end < m - start) {
            var last = old[m - 1 - end];
            if (last.atStart || tail - last.text.length < pos || !html.endsWith(last.text, tail)) break;
            tail -= last.text.length;
            end++;
        }
        var middle = cut(html, pos, tail);
        if (middle.open) end = 0;

        // A diagram drawn before the scheme changed is drawn again, as a
        // fresh copy of the page would draw it.
        var wanted;
        function stale(p) {
            if (!p.theme) return false;
            if (wanted === undefined) wanted = window.__sorvaneRich ? window.__sorvaneRich.diagramTheme() : null;
            return p.theme !== wanted;
        }

        var diagrams = [];
        var result = [];
        var fresh = [];
        function keep(p) {
            if (!stale(p)) {
                result.push(p);
                return;
            }
            var again = render(content, [piece(p.text, p.count, p.atStart)], firstNodeFrom([p], 0), diagrams)[0];
            remove(p);
            result.push(again);
            fresh.push(again);
        }

        var i;
        for (i = 0; i < start; i++) keep(old[i]);
        for (i = start; i < m - end; i++) remove(old[i]);
        var added = render(content, middle.pieces, firstNodeFrom(old, m - end), diagrams);
        for (i = 0; i < added.length; i++) {
            result.push(added[i]);
            fresh.push(added[i]);
        }
        for (i = m - end; i < m; i++) keep(old[i]);
        pieces = result;

        if (diagrams.length > 0 && window.__sorvaneRich) {
            var theme = window.__sorvaneRich.diagrams(diagrams);
            for (i = 0; i < fresh.length; i++)
                if (fresh[i].diagrams > 0) fresh[i].theme = theme;
        }
    }

    // Whether nothing is left for idle time.
    function idle() {
        return !pending;
    }

    // Puts the rest of a fill in the page now, for what looks through all of it.
    function showAll() {
        if (pending) show(pending, pending.nodes.length);
    }

    return { decode: decode, apply: apply, idle: idle, showAll: showAll };
})();

// The fragment on show, which an edit is applied to.
var __sorvaneFragment = '';

function updateContent(base64) {
    try {
        __sorvaneFragment = __sorvaneUpdater.decode(base64);
        __sorvaneUpdater.apply(document.getElementById('content'), __sorvaneFragment);
    } catch (e) {
        console.error('Failed to update content:', e);
    }
}

// An edit: the last fragment keeps its first `head` and last `tail` UTF-16 units
// and gets the given text between them, so only the changed part crosses over.
function updateContentRange(head, tail, base64) {
    try {
        var last = __sorvaneFragment;
        __sorvaneFragment = last.slice(0, head) + __sorvaneUpdater.decode(base64) + last.slice(last.length - tail);
        __sorvaneUpdater.apply(document.getElementById('content'), __sorvaneFragment);
    } catch (e) {
        console.error('Failed to update content:', e);
    }
}
