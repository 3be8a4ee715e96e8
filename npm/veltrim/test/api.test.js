'use strict';
const test = require('node:test');
const assert = require('node:assert');
const fs = require('fs');
const path = require('path');
const { pathToFileURL } = require('url');
const { root, load } = require('./package.js');

const { convert, convertFile } = load('index.js');
const dir = fs.mkdtempSync(path.join(require('os').tmpdir(), 'veltrim-api-'));
const sheet = (size, seed) => `/* r${seed} */ .c${seed}, p > a\t{\n  color : #${seed} ;\n  content: "ž 😀" }\n`
  .repeat(Math.ceil(size / 60));

// Large outputs compared without assert's diff of every byte, which runs out of memory.
function sameBytes(actual, expected, label) {
  let at = 0;
  while (at < actual.length && actual[at] === expected[at]) at += 1;
  assert.ok(actual.equals(expected), `${label}: ${actual.length} bytes for ${expected.length}, apart at ${at}`);
}

async function withEnv(name, value, run) {
  const before = process.env[name];
  process.env[name] = value;
  try {
    return await run();
  } finally {
    if (before === undefined) delete process.env[name];
    else process.env[name] = before;
  }
}

const CONVERTED = [
  ['a string', 'a {\n  color : red ;\n}\n', 'a{color :red ;}\r\n'],
  ['a Buffer', Buffer.from(' /* x */ b , i { }  '), 'b,i{}\r\n'],
  ['a Uint8Array inside a larger buffer', new Uint8Array(Buffer.from('##p{m:0}##')).subarray(2, 8), 'p{m:0}\r\n'],
  ['nothing', '', ''],
  ['a UTF-8 mark', Buffer.from('\ufeffq { }'), '\ufeffq{}\r\n'],
  ['a string of non-ASCII', 'ž { content: "😀" }', 'ž{content:"😀" }\r\n'],
  ['UTF-16', Buffer.from('\ufeffa {}', 'utf16le'), Buffer.from('\ufeffa{}\r\n', 'utf16le')],
  ['a number', 42, TypeError],
  ['an array', [97, 123, 125], TypeError],
];

test('convert gives the line form of each kind of input', async () => {
  for (const [label, input, expected] of CONVERTED) {
    if (expected === TypeError) await assert.rejects(convert(input), TypeError, label);
    else assert.deepStrictEqual(await convert(input), Buffer.from(expected), label);
  }
});

test('a string cut where a slice of it ends keeps its surrogate pairs', async () => {
  for (const at of [65535, 65536, 131071]) {
    const text = `${'x'.repeat(at)}😀{}`;
    sameBytes(await convert(text), await convert(Buffer.from(text)), `at ${at}`);
  }
});

test('a large input gives what the tool writes for the same file, and many run at once', async () => {
  const css = path.join(dir, 'large.css');
  fs.writeFileSync(css, sheet(24 << 20, 7));
  assert.strictEqual(await convertFile(css), path.join(dir, 'large.olf'));
  const expected = fs.readFileSync(path.join(dir, 'large.olf'));
  sameBytes(await convert(fs.readFileSync(css)), expected, 'Buffer');
  sameBytes(await convert(fs.readFileSync(css, 'utf8')), expected, 'string');
  const inputs = Array.from({ length: 40 }, (_, i) => sheet(50000 + 997 * i, i));
  const outputs = await Promise.all(inputs.map((input) => convert(input)));
  for (const [i, input] of inputs.entries()) sameBytes(outputs[i], await convert(Buffer.from(input)), `call ${i}`);
});

test('convertFile resolves with the output name as the tool makes it', async () => {
  for (const name of ['one.css', 'Two.CSS', 'three four.cSs', 'pět.css']) {
    fs.writeFileSync(path.join(dir, name), 'a { b: c}');
    const olf = await convertFile(path.join(dir, name));
    assert.strictEqual(olf, path.join(dir, `${name.slice(0, -4)}.olf`));
    assert.deepStrictEqual(fs.readFileSync(olf), Buffer.from('a{b:c}\r\n'));
  }
});

const FILE_FAILURES = [
  ['no such.css', 'Soubor no such.css nejde otevrit pro cteni.'],
  ['style.txt', 'Chybny nazev souboru. (chybi .css))'],
  ['a.c', 'Chybny nazev souboru. (delka<5)'],
  ['a.css.bak', 'Chybny nazev souboru. (.css neni na konci)'],
  ['-', TypeError], ['--help', TypeError], ['/?', TypeError], ['--version', TypeError], [42, TypeError],
];

test('convertFile rejects with the tool\'s message, whatever VELTRIM_STATUS the user has', async () => {
  for (const status of ['0', '']) {
    await withEnv('VELTRIM_STATUS', status, async () => {
      for (const [name, message] of FILE_FAILURES) {
        await assert.rejects(convertFile(name), message === TypeError ? TypeError : { message }, String(name));
      }
    });
  }
});

const TOOL_ENDS = [
  ['cat >/dev/null; echo "Chyba pri zapisu do souboru -." >&2; exit 1', 'Chyba pri zapisu do souboru -.'],
  ['exit 3', 'veltrim exited with status 3'],
  ['kill -KILL $$', 'veltrim ended by SIGKILL'],
];

test('convert rejects with what ended the tool', { skip: process.platform === 'win32' }, async () => {
  for (const [body, message] of TOOL_ENDS) {
    const fake = path.join(dir, 'fake');
    fs.writeFileSync(fake, `#!/bin/sh\n${body}\n`, { mode: 0o755 });
    await withEnv('VELTRIM_BINARY', fake, () => assert.rejects(convert('a{}'.repeat(1 << 20)), { message }, body));
  }
});

test('the API imports from ES modules and its types name what it exports', async () => {
  const esm = await import(pathToFileURL(path.join(root, 'index.js')));
  assert.deepStrictEqual(await esm.convert('a { }'), Buffer.from('a{}\r\n'));
  const declared = fs.readFileSync(path.join(root, 'index.d.ts'), 'utf8').match(/export function \w+/g);
  assert.deepStrictEqual(declared.map((d) => d.slice(16)).sort(), Object.keys(load('index.js')).sort());
});
