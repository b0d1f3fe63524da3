// Plain marked under node (V8), set up as the app sets it up but without the
// respelled rules and masking loops: the reference the app's output must
// equal, and the benchmark's comparison.
//   node marked-reference.js MARKED FOOTNOTES DIR         renders DIR/*.md to DIR/*.html
//   node marked-reference.js MARKED FOOTNOTES --time FILE N  prints the median ms of N renders
'use strict';
const fs = require('fs');
const path = require('path');
const vm = require('vm');

const [markedPath, footnotesPath, ...rest] = process.argv.slice(2);
const context = vm.createContext({});
vm.runInContext(fs.readFileSync(markedPath, 'utf8'), context);
vm.runInContext('marked.setOptions({ gfm: true, breaks: false });\n'
    + fs.readFileSync(footnotesPath, 'utf8')
    + '\nfunction __sorvaneRender(md) {\n    return marked.parse(md);\n}', context);
const render = (text) => { context.__md__ = text; return vm.runInContext('__sorvaneRender(__md__)', context); };

if (rest[0] === '--time') {
    const text = fs.readFileSync(rest[1], 'utf8');
    const runs = Number(rest[2] || 5);
    render(text);
    const times = [];
    for (let i = 0; i < runs; ++i) {
        const start = process.hrtime.bigint();
        render(text);
        times.push(Number(process.hrtime.bigint() - start) / 1e6);
    }
    times.sort((a, b) => a - b);
    console.log(times[Math.floor(times.length / 2)].toFixed(3));
} else {
    const dir = rest[0];
    for (const name of fs.readdirSync(dir)) {
        if (!name.endsWith('.md')) continue;
        const text = fs.readFileSync(path.join(dir, name), 'utf8');
        fs.writeFileSync(path.join(dir, name.slice(0, -3) + '.html'), render(text));
    }
}
