'use strict';
// Where the tool's binary is, for the launcher and the API alike.
const path = require('path');
const { platformFor, noBinaryLine } = require('./platform.js');

// { path } of the binary to run, or { message }, the one line that says why there is none.
// VELTRIM_BINARY names a binary of one's own: a build from source on a system with no
// package, or a build under test.
function findBinary(env, platform, arch, resolve) {
  if (env.VELTRIM_BINARY) return { path: env.VELTRIM_BINARY };
  const row = platformFor(platform, arch);
  if (!row) return { message: noBinaryLine(platform, arch) };
  let manifest;
  try {
    manifest = resolve(`${row.pkg}/package.json`);
  } catch (err) {
    return {
      message: `veltrim: ${row.pkg}, which holds the binary for ${platform}-${arch}, is not ` +
        'installed: install veltrim again with its optional dependencies ' +
        '(without --omit=optional).',
    };
  }
  return { path: path.join(path.dirname(manifest), 'bin', row.exe) };
}

// The binary for this process's system.
function binaryHere() {
  return findBinary(process.env, process.platform, process.arch, require.resolve);
}

module.exports = { findBinary, binaryHere };
