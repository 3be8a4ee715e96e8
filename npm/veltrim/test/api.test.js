'use strict';
const test = require('node:test');
const assert = require('node:assert');
const fs = require('fs');
const os = require('os');
const path = require('path');
const { pathToFileURL } = require('url');
const { root, load } = require('./package.js');

const { convert, convertFile } = load('index.js');
const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'veltrim-api-'));
const bytes = (text) => Buffer.from(text, 'latin1');

// A generated stylesheet of about `size` bytes: rules, comments, blanks and non-ASCII.
function sheet(size, seed) {
  const rule = `/* r${seed} */ .c${seed}, p > a\t{\n  color : #${seed % 999} ;\n  content: "ž 😀" }\n`;
  return rule.repeat(Math.ceil(size / Buffer.byteLength(rule)));
}

// Large outputs compared without assert's diff of every byte, which runs out of memory.
function sameBytes(actual, expected, label) {
  if (actual.equals(expected)) return;
  let at = 0;
  while (at < actual.length && actual[at] === expected[at]) at += 1;
  assert.fail(`${label}: ${actual.length} bytes for ${expected.length}, first apart at ${at}`);
}

// With the environment variable set for the length of one call.
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
  ['a Buffer', bytes(' /* x */ b , i { }  '), 'b,i{}\r\n'],
  ['a Uint8Array inside a larger buffer', new Uint8Array(Buffer.from('##p{m:0}##')).subarray(2, 8), 'p{m:0}\r\n'],
  ['nothing', '', ''],
  ['a UTF-8 mark', Buffer.from('\ufeffq { }', 'utf8'), '\ufeffq{}\r\n'],
  ['a string of non-ASCII', 'ž { content: "😀" }', 'ž{content:"😀" }\r\n'],
  ['UTF-16 with a mark', Buffer.from([0xff, 0xfe, 0x61, 0, 0x20, 0, 0x7b, 0, 0x7d, 0]),
    Buffer.from([0xff, 0xfe, 0x61, 0, 0x7b, 0, 0x7d, 0, 0x0d, 0, 0x0a, 0])],
];

test('convert gives the line form of each kind of input', async () => {
  for (const [label, input, expected] of CONVERTED) {
    const out = await convert(input);
    assert.ok(Buffer.isBuffer(out), label);
    assert.deepStrictEqual(out, Buffer.isBuffer(expected) ? expected : Buffer.from(expected, 'utf8'), label);
  }
});

test('a string split where a slice ends keeps its surrogate pairs', async () => {
  for (const at of [65535, 65536, 131071]) {
    const text = `${'x'.repeat(at)}😀{}`;
    sameBytes(await convert(text), await convert(Buffer.from(text, 'utf8')), `at ${at}`);
  }
});

test('a large input gives what the tool writes for the same file', async () => {
  const css = path.join(dir, 'large.css');
  fs.writeFileSync(css, sheet(24 << 20, 7));
  const olf = await convertFile(css);
  assert.strictEqual(olf, path.join(dir, 'large.olf'));
  const expected = fs.readFileSync(olf);
  sameBytes(await convert(fs.readFileSync(css)), expected, 'Buffer');
  sameBytes(await convert(fs.readFileSync(css, 'utf8')), expected, 'string');
});

test('many calls at once each get their own line form', async () => {
  const inputs = Array.from({ length: 40 }, (_, i) => sheet(50000 + 997 * i, i));
  const outputs = await Promise.all(inputs.map((input) => convert(input)));
  for (let i = 0; i < inputs.length; i += 1) {
    sameBytes(outputs[i], await convert(Buffer.from(inputs[i])), `call ${i}`);
  }
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
];

test('convertFile rejects with the tool\'s message, whatever VELTRIM_STATUS the user has', async () => {
  for (const status of ['0', '']) {
    await withEnv('VELTRIM_STATUS', status, async () => {
      for (const [name, message] of FILE_FAILURES) {
        await assert.rejects(convertFile(name), { message }, `${name}, VELTRIM_STATUS=${status}`);
      }
    });
  }
});

test('convertFile refuses what the tool takes for something else than a file', async () => {
  for (const name of ['-', '--help', '-h', '/?', '--version', 42, undefined]) {
    await assert.rejects(convertFile(name), TypeError, String(name));
  }
});

test('convert refuses input that is not text or bytes', async () => {
  for (const input of [42, null, undefined, { length: 3 }, [97, 123, 125]]) {
    await assert.rejects(convert(input), TypeError, JSON.stringify(input));
  }
});

const TOOL_ENDS = [
  ['a message on standard error', 'cat >/dev/null; echo "Chyba pri zapisu do souboru -." >&2; exit 1',
    'Chyba pri zapisu do souboru -.'],
  ['an exit without a message', 'exit 3', 'veltrim exited with status 3'],
  ['a signal', 'kill -KILL $$', 'veltrim ended by SIGKILL'],
];

test('convert rejects with what ended the tool', { skip: process.platform === 'win32' }, async () => {
  for (const [label, body, message] of TOOL_ENDS) {
    const fake = path.join(dir, 'fake');
    fs.writeFileSync(fake, `#!/bin/sh\n${body}\n`, { mode: 0o755 });
    await withEnv('VELTRIM_BINARY', fake, () => assert.rejects(convert('a{}'.repeat(1 << 20)), { message }, label));
  }
});

test('the API imports from ES modules and its types name what it exports', async () => {
  const esm = await import(pathToFileURL(path.join(root, 'index.js')));
  assert.deepStrictEqual(await esm.convert('a { }'), Buffer.from('a{}\r\n'));
  const declared = fs.readFileSync(path.join(root, 'index.d.ts'), 'utf8').match(/export function \w+/g);
  assert.deepStrictEqual(declared.map((d) => d.slice(16)).sort(), Object.keys(load('index.js')).sort());
});
