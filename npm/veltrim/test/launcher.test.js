'use strict';
const test = require('node:test');
const assert = require('node:assert');
const fs = require('fs');
const path = require('path');
const { spawn, spawnSync } = require('child_process');
const { load } = require('./package.js');

const posix = process.platform !== 'win32';
const dir = fs.mkdtempSync(path.join(require('os').tmpdir(), 'veltrim-launcher-'));
const input = path.join(dir, 'a b.css');
const written = path.join(dir, 'a b.olf');
fs.writeFileSync(input, 'a {\n  color : red ;\n}\n');
const launched = (args, options) => spawnSync(process.execPath, [path.join(__dirname, 'launch.js'), ...args], options);
const fakeTool = (body) => {
  fs.writeFileSync(path.join(dir, 'fake'), `#!/bin/sh\n${body}\n`, { mode: 0o755 });
  return { ...process.env, VELTRIM_BINARY: path.join(dir, 'fake') };
};

// Each row runs the tool directly and through the launcher: standard output and error, the
// exit status and the file written must be the same.
const SAME_AS_THE_TOOL = [
  { args: ['a b.css'] },
  { args: ['no such.css'], env: { VELTRIM_STATUS: '1' } },
  { args: ['no such.css'], env: { VELTRIM_STATUS: '0' } },
  { args: ['q"uo\'te \\ ž ünï 😀.css'] }, { args: ['*.css'] }, { args: ['  a b.css '] }, { args: [''] },
  { args: ['a b.css', 'ignored.css', '--help'] }, { args: ['--version'] },
  { args: ['-'], input: 'p { margin : 0 }\n/* gone */ q{}' },
  { args: ['-'], input: Buffer.from('\ufeffa {}\n', 'utf16le') },
  { args: ['-'], intoItself: true },  // `veltrim - <a.css >>a.css`, refused on standard error
];

test('the launcher passes arguments, standard streams and the exit status as the tool has them', () => {
  const tool = load('lib/binary.js').binaryHere().path;
  assert.ok(tool, 'a binary to compare with (set VELTRIM_BINARY in a source tree)');
  for (const row of SAME_AS_THE_TOOL) {
    const options = { cwd: dir, input: row.input || '', env: { ...process.env, ...row.env } };
    if (row.intoItself) options.stdio = [fs.openSync(input, 'r'), fs.openSync(input, 'a'), 'pipe'];
    fs.rmSync(written, { force: true });
    const direct = spawnSync(tool, row.args, options);
    const expected = fs.existsSync(written) && fs.readFileSync(written);
    fs.rmSync(written, { force: true });
    const through = launched(row.args, options);
    const label = JSON.stringify(row.args);
    assert.deepStrictEqual([through.stdout, through.stderr, through.status],
      [direct.stdout, direct.stderr, direct.status], label);
    assert.deepStrictEqual(fs.existsSync(written) && fs.readFileSync(written), expected, label);
    if (row.intoItself) options.stdio.slice(0, 2).forEach((fd) => fs.closeSync(fd));
  }
});

// How the binary ends, and how the launcher must end: its status, or the same signal.
const ENDS = [
  ['exit 3', 3, null], ['exit 0', 0, null],
  ['kill -TERM $$', null, 'SIGTERM'], ['kill -INT $$', null, 'SIGINT'], ['kill -KILL $$', null, 'SIGKILL'],
  ['kill -PIPE $$', 141, null],  // Node ignores SIGPIPE: the shells' number for it instead
];

test('the launcher ends as the binary ended', { skip: !posix }, () => {
  for (const [body, status, signal] of ENDS) {
    const run = launched([], { env: fakeTool(body) });
    assert.deepStrictEqual([run.status, run.signal], [status, signal], body);
  }
});

test('a signal sent to the launcher alone reaches the binary too', { skip: !posix }, async () => {
  const pidFile = path.join(dir, 'pid');
  const launcher = spawn(process.execPath, [path.join(__dirname, 'launch.js')],
    { env: fakeTool(`echo $$ > "${pidFile}.new"; mv "${pidFile}.new" "${pidFile}"; exec sleep 30`) });
  while (!fs.existsSync(pidFile)) await new Promise((resolve) => setTimeout(resolve, 20));
  launcher.kill('SIGTERM');
  const end = await new Promise((resolve) => launcher.on('exit', (...codeAndSignal) => resolve(codeAndSignal)));
  assert.deepStrictEqual(end, [null, 'SIGTERM']);
  assert.throws(() => process.kill(Number(fs.readFileSync(pidFile, 'utf8')), 0), { code: 'ESRCH' });
});

test('a binary that cannot start is one line and status 1', () => {
  const run = launched(['x.css'], { env: { ...process.env, VELTRIM_BINARY: path.join(dir, 'none') }, encoding: 'utf8' });
  assert.strictEqual(run.status, 1);
  assert.match(run.stderr, /^veltrim: cannot start .*none: .*\n$/);
});

test('the install script swaps in a binary that runs, by a rename that spares hard links', { skip: !posix }, () => {
  const { swapIn, runsHere, installedByNpm } = load('install.js');
  const launcher = path.join(dir, 'launcher');
  fs.writeFileSync(launcher, '#!/usr/bin/env node\n');
  fs.linkSync(launcher, `${launcher}.shared`);  // as pnpm's store shares a file
  const tool = load('lib/binary.js').binaryHere().path;
  assert.ok(runsHere(tool) && !runsHere(fakeTool('echo "Veltrim v1.1"; exit 1').VELTRIM_BINARY));
  assert.ok(swapIn(tool, launcher));
  assert.match(spawnSync(launcher, ['--version'], { encoding: 'utf8' }).stdout, /^\nVeltrim v/);
  assert.strictEqual(fs.readFileSync(`${launcher}.shared`, 'utf8'), '#!/usr/bin/env node\n');
  const agents = ['npm/11.0.0 node/v20', 'pnpm/9.1.0 npm/? node/v20', 'yarn/1.22.0 npm/? node/v20', undefined];
  assert.deepStrictEqual(agents.map((a) => installedByNpm({ npm_config_user_agent: a })), [true, false, false, false]);
});
