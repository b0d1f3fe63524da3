// Marked under node (V8), set up as the app sets it up but without the
// respelled rules and masking loops: the reference the app's output must
// equal, and the benchmark's comparison.
//   node marked-reference.js MARKED FOOTNOTES MATH DIR
//       renders DIR/*.md to DIR/*.html as the app does, and to DIR/*.plain.html
//       without the math spans (plain marked with footnotes)
//   node marked-reference.js MARKED FOOTNOTES MATH --time FILE N
//       prints the median ms of N plain renders
'use strict';
const fs = require('fs');
const path = require('path');
const vm = require('vm');

const [markedPath, footnotesPath, mathPath, ...rest] = process.argv.slice(2);
function renderer(withMath) {
    const context = vm.createContext({});
    vm.runInContext(fs.readFileSync(markedPath, 'utf8'), context);
    vm.runInContext('marked.setOptions({ gfm: true, breaks: false });\n'
        + fs.readFileSync(footnotesPath, 'utf8') + '\n' + (withMath ? fs.readFileSync(mathPath, 'utf8') : '')
        + '\nfunction __sorvaneRender(md) {\n    return marked.parse(md);\n}', context);
    return (text) => { context.__md__ = text; return vm.runInContext('__sorvaneRender(__md__)', context); };
}
const render = renderer(false);

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
    const withMath = renderer(true);
    for (const name of fs.readdirSync(dir)) {
        if (!name.endsWith('.md')) continue;
        const text = fs.readFileSync(path.join(dir, name), 'utf8');
        fs.writeFileSync(path.join(dir, name.slice(0, -3) + '.html'), withMath(text));
        fs.writeFileSync(path.join(dir, name.slice(0, -3) + '.plain.html'), render(text));
    }
}
