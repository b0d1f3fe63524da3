// Math spans: "$…$" inline, "$$…$$" display (also as a block of its own
// lines). Taken out of the Markdown before anything else reads them, so the
// page's typesetter gets the TeX as written: "\," "\{" and "\\" keep their
// backslashes and "_" or "*" never turn into emphasis. The element keeps its
// delimiters as text; the page strips them by class.
//
// The usual dollar rules: an opening "$" has a non-space after it, a closing
// "$" has a non-space before it and no digit after it, and an inline span
// holds no unescaped "$" ("it costs $5 and $10" stays text). "\$" is a
// literal dollar, inside math and out. Code spans and code blocks are never
// read here: marked hands them to their own rules first.
(function () {
    var DOLLAR = 36, BACKSLASH = 92;

    function isSpace(c) {
        return c === 32 || c === 9 || c === 10 || c === 13 || c === 12;
    }

    function isDigit(c) {
        return c >= 48 && c <= 57;
    }

    // Whether the character at `at` follows an odd run of backslashes.
    function escaped(src, at, from) {
        var n = 0;
        while (at - 1 - n >= from && src.charCodeAt(at - 1 - n) === BACKSLASH) ++n;
        return (n & 1) === 1;
    }

    // Index of the next unescaped `delimiter` at or after `from`, or -1.
    function next(src, delimiter, from, start) {
        for (var at = src.indexOf(delimiter, from); at >= 0; at = src.indexOf(delimiter, at + 1)) {
            if (!escaped(src, at, start)) return at;
        }
        return -1;
    }

    // Length of the inline span opening `src`, or 0.
    function inlineLength(src) {
        if (src.charCodeAt(0) !== DOLLAR) return 0;
        if (src.charCodeAt(1) === DOLLAR) {
            var close = next(src, '$$', 2, 0);
            return close > 2 ? close + 2 : 0;
        }
        var first = src.charCodeAt(1);
        if (first !== first || isSpace(first)) return 0;
        var end = next(src, '$', 1, 0);
        if (end < 0 || isSpace(src.charCodeAt(end - 1)) || isDigit(src.charCodeAt(end + 1))) return 0;
        return end + 1;
    }

    var BLANK_LINE = /\n[ \t]*\n/;

    // A display block standing on its own lines: up to three spaces, "$$",
    // the TeX (no blank line inside), "$$" at the end of a line.
    function block(src) {
        var i = 0;
        while (i < 3 && src.charCodeAt(i) === 32) ++i;
        if (src.charCodeAt(i) !== DOLLAR || src.charCodeAt(i + 1) !== DOLLAR) return undefined;
        var close = next(src, '$$', i + 2, i);
        if (close <= i + 2 || BLANK_LINE.test(src.slice(i + 2, close))) return undefined;
        var end = close + 2;
        while (src.charCodeAt(end) === 32 || src.charCodeAt(end) === 9) ++end;
        if (end < src.length && src.charCodeAt(end) !== 10) return undefined;
        return { type: 'mathBlock', raw: src.slice(0, end < src.length ? end + 1 : end), text: src.slice(i, close + 2) };
    }

    var SPECIAL = /[&<>"]/;
    var SPECIAL_ALL = /[&<>"]/g;
    var ENTITIES = { '&': '&amp;', '<': '&lt;', '>': '&gt;', '"': '&quot;' };
    function escapeHTML(text) {
        return SPECIAL.test(text) ? text.replace(SPECIAL_ALL, function (c) { return ENTITIES[c]; }) : text;
    }

    // Emphasis looks for its closing delimiter in a copy of the paragraph
    // where code spans, tags and links are masked; math is masked with them,
    // so a "*" inside a formula never closes an emphasis outside it. Escapes
    // are already masked there, so a "$" here is never an escaped one.
    var MASK = '\\$\\$(?:[^$]|\\$(?!\\$))+?\\$\\$|\\$[^\\s$](?:[^$]*?[^\\s$])?\\$(?!\\d)';
    var inlineRules = marked.Lexer.rules.inline;
    Object.keys(inlineRules).forEach(function (key) {
        var skip = inlineRules[key] && inlineRules[key].blockSkip;
        if (skip instanceof RegExp) inlineRules[key].blockSkip = new RegExp(skip.source + '|' + MASK, skip.flags);
    });

    marked.use({
        extensions: [{
            name: 'mathBlock',
            level: 'block',
            tokenizer: block,
            renderer: function (token) {
                return '<div class="math math-display">' + escapeHTML(token.text) + '</div>\n';
            }
        }, {
            name: 'math',
            level: 'inline',
            start: function (src) {
                var at = src.indexOf('$');
                return at < 0 ? undefined : at;
            },
            tokenizer: function (src) {
                var length = inlineLength(src);
                if (length === 0) return undefined;
                var raw = src.slice(0, length);
                return { type: 'math', raw: raw, display: src.charCodeAt(1) === DOLLAR };
            },
            renderer: function (token) {
                return '<span class="math math-' + (token.display ? 'display' : 'inline') + '">'
                    + escapeHTML(token.raw) + '</span>';
            }
        }]
    });
})();
