'use strict';
const test = require('node:test');
const assert = require('node:assert');
const { load } = require('./package.js');

const { findBinary } = load('lib/binary.js');

const installedAt = (name) => `/n/${name}`;
const notInstalled = (name) => {
  throw new Error(`Cannot find module '${name}'`);
};

// [environment, system, processor, resolver, the binary's path or a part of the message]
const FOUND = [
  [{}, 'linux', 'x64', installedAt, '/n/@veltrim/linux-x64/bin/veltrim'],
  [{}, 'linux', 'arm64', installedAt, '/n/@veltrim/linux-arm64/bin/veltrim'],
  [{}, 'win32', 'x64', installedAt, '/n/@veltrim/win32-x64/bin/veltrim.exe'],
  [{ VELTRIM_BINARY: '/own/veltrim' }, 'darwin', 'arm64', notInstalled, '/own/veltrim'],
  [{ VELTRIM_BINARY: '' }, 'linux', 'x64', installedAt, '/n/@veltrim/linux-x64/bin/veltrim'],
  [{}, 'linux', 'x64', notInstalled, 'message: @veltrim/linux-x64, which holds the binary for linux-x64, is not installed'],
  [{}, 'darwin', 'arm64', installedAt, 'message: veltrim: no binary for darwin-arm64'],
  [{}, 'win32', 'ia32', installedAt, 'message: veltrim: no binary for win32-ia32'],
  [{}, 'win32', 'arm64', installedAt, 'message: veltrim: no binary for win32-arm64'],
  [{}, 'android', 'arm64', installedAt, 'message: veltrim: no binary for android-arm64'],
  [{}, 'freebsd', 'x64', installedAt, 'message: (there are linux-x64, linux-arm64, win32-x64); build it from source with CMake and set VELTRIM_BINARY'],
];

test('the binary is found in the package of its system, or one line says why not', () => {
  for (const [env, system, arch, resolve, expected] of FOUND) {
    const found = findBinary(env, system, arch, resolve);
    const label = `${JSON.stringify(env)} ${system} ${arch}`;
    if (!expected.startsWith('message: ')) assert.strictEqual(found.path.replace(/\\/g, '/'), expected, label);
    else assert.ok(!found.path && found.message.includes(expected.slice(9)) && !found.message.includes('\n'), `${label}: ${found.message}`);
  }
});
