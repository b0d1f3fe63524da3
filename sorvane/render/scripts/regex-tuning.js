// Runs before marked loads. JavaScriptCore's regex JIT leaves some rules to
// its interpreter (measured: groups repeated a minimum of more than once,
// lookbehind, and more it does not document), which retries every start
// position of the rest of the document, so lexing turns quadratic; and even
// JIT code pays about 200 ns for each pass through a quantified group. We
// respell marked's rules so the JIT takes them, keep start-anchored rules at
// index 0, and build the masked paragraph text in one pass. Every respelling
// must leave marked's output byte for byte as it is under node.
var __sorvaneRegexTuning = (function () {
    'use strict';
    var NativeRegExp = RegExp;
    var nativeExec = NativeRegExp.prototype.exec;
    var QUANTIFIER = new NativeRegExp('(?:\\+|\\*|\\?|\\{(\\d+)(?:(,)(\\d*))?\\})(\\?)?', 'y');
    var UNROLL_LIMIT = 16;

    // Rewrites `(?:X){n,m}` with n > 0 and no capture inside X into n plain
    // copies followed by an optional tail. Reports whether anything the JIT
    // refuses remains.
    function respell(source) {
        var i = 0;
        var blocked = false;

        function quantifier() {
            QUANTIFIER.lastIndex = i;
            var q = nativeExec.call(QUANTIFIER, source);
            if (!q) return null;
            i += q[0].length;
            var min, max;
            if (q[0][0] === '+') { min = 1; max = Infinity; }
            else if (q[0][0] === '*') { min = 0; max = Infinity; }
            else if (q[0][0] === '?') { min = 0; max = 1; }
            else {
                min = Number(q[1]);
                max = q[2] === undefined ? min : (q[3] === '' ? Infinity : Number(q[3]));
            }
            return { text: q[0], min: min, max: max, lazy: q[4] === '?' };
        }

        function group() {
            var head;
            if (source.startsWith('(?<=', i) || source.startsWith('(?<!', i)) { head = source.substr(i, 4); blocked = true; }
            else if (source.startsWith('(?:', i) || source.startsWith('(?=', i) || source.startsWith('(?!', i)) head = source.substr(i, 3);
            else if (source.startsWith('(?<', i)) head = source.slice(i, source.indexOf('>', i) + 1);
            else head = '(';
            var capturing = head === '(' || (head.startsWith('(?<') && head.length > 4);
            i += head.length;
            var inner = sequence();
            i += 1;
            return { head: head, body: inner.text, capture: capturing || inner.capture };
        }

        function sequence() {
            var out = '';
            var capture = false;
            while (i < source.length && source[i] !== ')') {
                var c = source[i];
                if (c === '\\') {
                    var next = source[i + 1];
                    if ((next >= '1' && next <= '9') || next === 'k') blocked = true;
                    out += source.substr(i, 2);
                    i += 2;
                    continue;
                }
                if (c === '[') {
                    var start = i++;
                    while (i < source.length && source[i] !== ']') i += source[i] === '\\' ? 2 : 1;
                    i += 1;
                    out += source.slice(start, i);
                    continue;
                }
                if (c === '(') {
                    var g = group();
                    var q = quantifier();
                    capture = capture || g.capture;
                    var whole = g.head + g.body + ')';
                    if (!q) { out += whole; continue; }
                    if (q.min === 0) { out += whole + q.text; continue; }
                    if (g.head !== '(?:' || g.capture || q.min > UNROLL_LIMIT) {
                        blocked = true;
                        out += whole + q.text;
                        continue;
                    }
                    var lazy = q.lazy ? '?' : '';
                    for (var n = 0; n < q.min; ++n) out += whole;
                    if (q.max === Infinity) out += whole + '*' + lazy;
                    else if (q.max - q.min === 1) out += whole + '?' + lazy;
                    else if (q.max > q.min) out += whole + '{0,' + (q.max - q.min) + '}' + lazy;
                    continue;
                }
                out += c;
                i += 1;
            }
            return { text: out, capture: capture };
        }

        var text = '';
        // A stray ')' cannot occur in a valid pattern; copy defensively if it does.
        for (;;) {
            text += sequence().text;
            if (i >= source.length) break;
            text += source[i++];
        }
        return { source: text, blocked: blocked };
    }

    // Marked builds the same list-item rules again for every list; respelling
    // them each time cost more than the matching.
    var respelled = new Map();
    function respellCached(source) {
        var r = respelled.get(source);
        if (!r) {
            r = respell(linewiseText(source));
            respelled.set(source, r);
        }
        return r;
    }

    // Whether every top-level alternative starts with `^`, so that without the
    // m flag the rule can only match at index 0.
    function anchoredAtStart(source) {
        var depth = 0;
        var expectAnchor = true;
        for (var i = 0; i < source.length; ++i) {
            var c = source[i];
            if (expectAnchor) {
                if (c !== '^') return false;
                expectAnchor = false;
            }
            if (c === '\\') { ++i; continue; }
            if (c === '[') {
                for (++i; i < source.length && source[i] !== ']'; ++i)
                    if (source[i] === '\\') ++i;
                continue;
            }
            if (c === '(') ++depth;
            else if (c === ')') --depth;
            else if (c === '|' && depth === 0) expectAnchor = true;
        }
        return !expectAnchor;
    }

    // A rule anchored at index 0 still costs a pass over the whole rest of the
    // document on every failed call when the JIT refuses it (the interpreter
    // walks every start position), and the JIT refuses more than its documented
    // list: measured, a failing call of the link definition rule scans the whole
    // input. A sticky copy only ever tries index 0, JIT or not.
    function stickyTwin(re) {
        var twin = new NativeRegExp(re.source, re.flags + 'y');
        Object.defineProperty(twin, 'exec', {
            value: function (s) { this.lastIndex = 0; return nativeExec.call(this, s); },
            writable: true, configurable: true
        });
        return twin;
    }

    function tune(re) {
        if (!(re instanceof NativeRegExp) || re.__sorvaneTuned) return re;
        var r = respellCached(re.source);
        var out = r.source === re.source ? re : new NativeRegExp(r.source, re.flags);
        var anchored = anchoredAtStart(re.source) && re.flags.indexOf('m') < 0
            && re.flags.indexOf('g') < 0 && re.flags.indexOf('y') < 0;
        if (anchored) out = stickyTwin(out);
        Object.defineProperty(out, '__sorvaneTuned', { value: true });
        return out;
    }

    // Marked also builds rules while it runs (list items, fences inside
    // lists); the global constructor respells their sources as they come.
    function argumentsFor(args) {
        if (typeof args[0] === 'string') {
            var r = respellCached(args[0]);
            return [r.source].concat(Array.prototype.slice.call(args, 1));
        }
        return Array.prototype.slice.call(args);
    }
    // Marked 15 builds five rules for every list item. A rule without the g
    // or y flag keeps no state between calls, so one object per source serves
    // them all; the cache is bounded in case a source ever carries input.
    var built = new Map();
    var BUILT_LIMIT = 256;
    function sharedRule(args) {
        if (typeof args[0] !== 'string' || args.length > 2) return null;
        var flags = args.length > 1 ? args[1] : '';
        if (typeof flags !== 'string' || flags.indexOf('g') >= 0 || flags.indexOf('y') >= 0) return null;
        var key = flags + '/' + args[0];
        var re = built.get(key);
        if (!re) {
            if (built.size >= BUILT_LIMIT) built.clear();
            re = new NativeRegExp(respellCached(args[0]).source, flags);
            built.set(key, re);
        }
        return re;
    }
    var Factory = new Proxy(NativeRegExp, {
        construct: function (target, args, newTarget) {
            var shared = newTarget === Factory ? sharedRule(args) : null;
            if (shared) return shared;
            return Reflect.construct(target, argumentsFor(args), newTarget === Factory ? target : newTarget);
        },
        apply: function (target, self, args) {
            return target.apply(self, argumentsFor(args));
        }
    });
    globalThis.RegExp = Factory;

    // The setext heading rule takes its text a character at a time through
    // `(?:.|\n(?!stop))+?`; the JIT runs a group per character at interpreter
    // speed (about 200 ns a character, measured), and the rule is tried on
    // every paragraph. Since the text must end just before the underline's
    // "\n", the same strings come out in the same (shortest first) order when
    // the text is taken a line at a time:
    // `(?:[^EOL]|\n(?!stop))[^EOL]*(?:\n(?!stop)[^EOL]*)*?`.
    var LINE_UNIT = '(?:.|\\n(?!';
    var EOL = '[^\\n\\r\\u2028\\u2029]';
    function linewiseText(source) {
        var at = source.indexOf(LINE_UNIT);
        if (at < 0) return source;
        var i = at + LINE_UNIT.length;
        var depth = 1;
        for (; i < source.length && depth > 0; ++i) {
            var c = source[i];
            if (c === '\\') { ++i; continue; }
            if (c === '[') {
                for (++i; i < source.length && source[i] !== ']'; ++i)
                    if (source[i] === '\\') ++i;
                continue;
            }
            if (c === '(') ++depth;
            else if (c === ')') --depth;
        }
        var stop = source.slice(at + LINE_UNIT.length, i - 1);
        var tail = '))+?)\\n';
        if (depth !== 0 || !source.startsWith(tail, i - 1)) return source;
        var unit = '\\n(?!' + stop + ')';
        return source.slice(0, at) + '(?:' + EOL + '|' + unit + ')' + EOL + '*(?:' + unit + EOL + '*)*?'
            + source.slice(i + 3);
    }

    // Marked masks code spans, links and escapes out of a paragraph with a loop
    // that splices the whole paragraph together again after every match; each
    // splice flattens the previous one, a copy of the paragraph per match
    // (quadratic: a 500 KB paragraph spent 0.7 s there). The masks keep the
    // length and none of these rules looks behind its start, so one pass over
    // the unmasked text finds the same matches; the loops are respelled to
    // build the masked text once.
    var LOOP_HEAD = 'while \\(\\(match = this\\.tokenizer\\.rules\\.inline\\.(\\w+)\\.exec\\(maskedSrc\\)\\) != null\\) \\{\\s*';
    var SPLICE = 'maskedSrc = maskedSrc\\.slice\\(0, match\\.index\\) \\+ ([^\\n;]*?) \\+ '
        + 'maskedSrc\\.slice\\(this\\.tokenizer\\.rules\\.inline\\.\\1\\.lastIndex\\);\\s*';
    var MASK_LOOP = new NativeRegExp(LOOP_HEAD + SPLICE + '\\}', 'g');
    // The reference-link loop masks only links whose label is defined.
    var CONDITIONAL_MASK_LOOP = new NativeRegExp(LOOP_HEAD + 'if \\(([^\\n{]*)\\) \\{\\s*' + SPLICE + '\\}\\s*\\}', 'g');
    function patchLibrary(source) {
        return source.replace(MASK_LOOP, function (loop, rule, mask) {
            return 'maskedSrc = __sorvaneRegexTuning.maskAll(maskedSrc, this.tokenizer.rules.inline.' + rule
                + ', function (match) { return ' + mask + '; });';
        }).replace(CONDITIONAL_MASK_LOOP, function (loop, rule, condition, mask) {
            return 'maskedSrc = __sorvaneRegexTuning.maskAll(maskedSrc, this.tokenizer.rules.inline.' + rule
                + ', function (match) { return (' + condition + ') ? ' + mask + ' : null; });';
        });
    }
    function maskAll(text, rule, mask) {
        var out = '';
        var last = 0;
        var match;
        while ((match = nativeExec.call(rule, text)) !== null) {
            var replacement = mask(match);
            if (replacement === null) continue;
            out += text.slice(last, match.index) + replacement;
            last = rule.lastIndex;
        }
        return last === 0 ? text : out + text.slice(last);
    }

    function tuneTable(table) {
        if (!table) return;
        Object.keys(table).forEach(function (key) {
            var value = table[key];
            if (value instanceof NativeRegExp) {
                table[key] = tune(value);
            }
        });
    }

    function tuneMarked(marked) {
        var rules = marked.Lexer.rules;
        Object.keys(rules.block).forEach(function (k) { tuneTable(rules.block[k]); });
        Object.keys(rules.inline).forEach(function (k) { tuneTable(rules.inline[k]); });
        var shared = new marked.Lexer().tokenizer.rules;
        if (shared && shared.other) tuneTable(shared.other);
    }

    return { respell: respell, linewiseText: linewiseText, patchLibrary: patchLibrary, maskAll: maskAll, tuneMarked: tuneMarked };
})();
