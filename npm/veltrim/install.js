'use strict';
// Run by npm after installing (never needed: with scripts ignored, bin/veltrim stays the
// launcher and works the same). On Linux it puts the binary itself in bin/veltrim, the file
// node_modules/.bin/veltrim links to, so that `npx veltrim` and package.json scripts start the
// tool without starting Node first. It downloads nothing, and it never fails an install.
const fs = require('fs');
const path = require('path');
const { spawnSync } = require('child_process');
const { binaryHere } = require('./lib/binary.js');

// Whether the file runs here as the tool: a binary of a foreign processor (an install copied
// between machines) must leave the launcher in place, which then says what is wrong.
function runsHere(binary) {
  const run = spawnSync(binary, ['--version'], { encoding: 'utf8', timeout: 10000 });
  return run.status === 0 && /^Veltrim v/m.test(run.stdout || '');
}

// Replaces bin/veltrim by a copy of the binary, whole or not at all: the copy is made beside
// it and renamed over it. A rename, not a write into the file, since pnpm and Yarn may share
// the file with other projects through hard links.
function swapIn(binary, launcher) {
  const copy = `${launcher}.${process.pid}.tmp`;
  try {
    fs.copyFileSync(binary, copy);
    fs.chmodSync(copy, 0o755);
    fs.renameSync(copy, launcher);
    return true;
  } catch (err) {
    fs.rmSync(copy, { force: true });
    return false;
  }
}

// Only npm links .bin/veltrim to this file as it is: pnpm writes a shell script there that
// starts Node on it, as its first line said at link time, and a binary would then fail.
function installedByNpm(env) {
  return /^npm\//.test(env.npm_config_user_agent || '');
}

function main() {
  if (process.platform !== 'linux' || process.env.VELTRIM_BINARY) return;
  if (!installedByNpm(process.env)) return;
  const found = binaryHere();
  if (!found.path || !runsHere(found.path)) return;
  swapIn(found.path, path.join(__dirname, 'bin', 'veltrim'));
}

if (require.main === module) main();

module.exports = { swapIn, runsHere, installedByNpm };
