// Footnotes: "[^id]" references numbered by first use, "[^id]: text" lines as
// one-line definitions, and a list of the referenced notes after the body.
(function () {
    var definitions = new Map();
    var order = [];
    var numbers = new Map();

    function reset() {
        definitions = new Map();
        order = [];
        numbers = new Map();
    }

    function numberFor(id) {
        if (!numbers.has(id)) {
            order.push(id);
            numbers.set(id, order.length);
        }
        return numbers.get(id);
    }

    var DEFINITION = /^\[\^([^\]\s]+)\]:\s?(.*)$/;
    var REFERENCE = /^\[\^([^\]\s]+)\]/;

    marked.use({
        hooks: {
            preprocess: function (markdown) {
                reset();
                var kept = [];
                var lines = markdown.split('\n');
                for (var i = 0; i < lines.length; ++i) {
                    var m = DEFINITION.exec(lines[i]);
                    if (m) definitions.set(m[1], m[2]);
                    else kept.push(lines[i]);
                }
                return kept.join('\n');
            },
            postprocess: function (html) {
                // The ids behind the numbers, for a caller that renders a text in
                // blocks and numbers the notes over all of them. The inline parses
                // below end first, so the outer parse writes last.
                if (order.length === 0) {
                    globalThis.__sorvaneFootnoteIds = [];
                    return html;
                }
                // The inline parse below runs the preprocess hook again, which
                // clears the state; work from a copy.
                var ids = order.slice();
                var defs = definitions;
                var nums = numbers;
                var items = '';
                for (var i = 0; i < ids.length; ++i) {
                    var n = nums.get(ids[i]);
                    var text = defs.has(ids[i]) ? marked.parseInline(defs.get(ids[i])) : '';
                    items += '<li id="fn-' + n + '">' + text + ' <a href="#fnref-' + n
                        + '" class="footnote-backref">\u21a9</a></li>\n';
                }
                globalThis.__sorvaneFootnoteIds = ids;
                return html + '<section class="footnotes">\n<ol>\n' + items + '</ol>\n</section>\n';
            }
        },
        extensions: [{
            name: 'footnoteRef',
            level: 'inline',
            start: function (src) {
                var at = src.indexOf('[^');
                return at < 0 ? undefined : at;
            },
            tokenizer: function (src) {
                var m = REFERENCE.exec(src);
                if (m) return { type: 'footnoteRef', raw: m[0], id: m[1] };
                return undefined;
            },
            renderer: function (token) {
                var n = numberFor(token.id);
                return '<sup class="footnote-ref"><a id="fnref-' + n + '" href="#fn-' + n + '">' + n + '</a></sup>';
            }
        }]
    });
})();
