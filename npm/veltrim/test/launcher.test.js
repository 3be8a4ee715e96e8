'use strict';
const test = require('node:test');
const assert = require('node:assert');
const fs = require('fs');
const os = require('os');
const path = require('path');
const { spawn, spawnSync } = require('child_process');
const { load } = require('./package.js');

const { binaryHere } = load('lib/binary.js');
const LAUNCH = path.join(__dirname, 'launch.js');
const posix = process.platform !== 'win32';
const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'veltrim-launcher-'));
const input = path.join(dir, 'a b.css');
fs.writeFileSync(input, 'a {\n  color : red ;\n}\n');
const launched = (args, options) => spawnSync(process.execPath, [LAUNCH, ...args], options);

// A script in the binary's place, whose end the launcher must pass on.
function fakeTool(name, body) {
  const file = path.join(dir, name);
  fs.writeFileSync(file, `#!/bin/sh\n${body}\n`, { mode: 0o755 });
  return { ...process.env, VELTRIM_BINARY: file };
}

// Each row runs the tool directly and through the launcher: standard output, error and the
// exit status must be the same, and the files they write too.
const SAME_AS_THE_TOOL = [
  { args: ['a b.css'] },
  { args: ['no such.css'], env: { VELTRIM_STATUS: '1' } },
  { args: ['no such.css'], env: { VELTRIM_STATUS: '0' } },
  { args: ['q"uo\'te \\ ž ünï 😀.css'] },
  { args: ['*.css'] },
  { args: ['  a b.css '] },
  { args: [''] },
  { args: ['a b.css', 'ignored.css', '--help'] },
  { args: ['--version'] },
  { args: ['-'], input: 'p { margin : 0 }\n/* gone */ q{}' },
  { args: ['-'], input: Buffer.from([0xff, 0xfe, 0x61, 0, 0x7b, 0, 0x7d, 0, 0x0a]) },
  { args: ['-'], intoItself: true },
];

test('the launcher passes arguments, standard streams and the exit status as the tool has them', () => {
  const tool = binaryHere().path;
  assert.ok(tool, 'a binary to compare with (set VELTRIM_BINARY in a source tree)');
  for (const row of SAME_AS_THE_TOOL) {
    const options = { cwd: dir, input: row.input || '', env: { ...process.env, ...row.env } };
    // `veltrim - <a.css >>a.css`, which the tool refuses on standard error.
    if (row.intoItself) options.stdio = [fs.openSync(input, 'r'), fs.openSync(input, 'a'), 'pipe'];
    const written = path.join(dir, 'a b.olf');
    fs.rmSync(written, { force: true });
    const direct = spawnSync(tool, row.args, options);
    const expectedOutput = fs.existsSync(written) && fs.readFileSync(written);
    fs.rmSync(written, { force: true });
    const through = launched(row.args, options);
    const label = JSON.stringify(row.args);
    assert.deepStrictEqual(through.stdout, direct.stdout, label);
    assert.deepStrictEqual(through.stderr, direct.stderr, label);
    assert.strictEqual(through.status, direct.status, label);
    if (expectedOutput) assert.deepStrictEqual(fs.readFileSync(written), expectedOutput, label);
    if (row.intoItself) options.stdio.slice(0, 2).forEach((fd) => fs.closeSync(fd));
  }
});

// How the binary ends, and how the launcher must end: its status, or the same signal.
const ENDS = [
  ['exit 3', 3, null],
  ['exit 0', 0, null],
  ['kill -TERM $$', null, 'SIGTERM'],
  ['kill -INT $$', null, 'SIGINT'],
  ['kill -KILL $$', null, 'SIGKILL'],
  ['kill -PIPE $$', 141, null],  // Node ignores SIGPIPE: the shells' number for it instead
];

test('the launcher ends as the binary ended', { skip: !posix }, () => {
  for (const [body, status, signal] of ENDS) {
    const run = launched([], { env: fakeTool('ends', body) });
    assert.deepStrictEqual([run.status, run.signal], [status, signal], body);
  }
});

test('a signal sent to the launcher alone reaches the binary too', { skip: !posix }, async () => {
  const pidFile = path.join(dir, 'pid');
  const env = fakeTool('waits', `echo $$ > "${pidFile}"; exec sleep 30`);
  const launcher = spawn(process.execPath, [LAUNCH], { env, stdio: 'ignore' });
  while (!fs.existsSync(pidFile) || !fs.readFileSync(pidFile, 'utf8').endsWith('\n')) {
    await new Promise((resolve) => setTimeout(resolve, 20));
  }
  const toolPid = Number(fs.readFileSync(pidFile, 'utf8'));
  launcher.kill('SIGTERM');
  const [code, signal] = await new Promise((resolve) => launcher.on('exit', (...end) => resolve(end)));
  assert.deepStrictEqual([code, signal], [null, 'SIGTERM']);
  assert.throws(() => process.kill(toolPid, 0), { code: 'ESRCH' });
});

test('a binary that cannot start is one line and status 1', () => {
  const run = launched(['x.css'], { env: { ...process.env, VELTRIM_BINARY: path.join(dir, 'none') }, encoding: 'utf8' });
  assert.strictEqual(run.status, 1);
  assert.match(run.stderr, /^veltrim: cannot start .*none: .*\n$/);
});
