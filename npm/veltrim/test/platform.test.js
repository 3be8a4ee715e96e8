'use strict';
const test = require('node:test');
const assert = require('node:assert');
const { load } = require('./package.js');

const { PLATFORMS, platformFor, noBinaryLine } = load('lib/platform.js');
const { findBinary } = load('lib/binary.js');

// Every value Node gives process.platform and process.arch, and the pairs with a binary.
const SYSTEMS = ['aix', 'android', 'cygwin', 'darwin', 'freebsd', 'haiku', 'linux', 'netbsd',
  'openbsd', 'sunos', 'win32'];
const ARCHES = ['arm', 'arm64', 'ia32', 'loong64', 'mips', 'mipsel', 'ppc', 'ppc64', 'riscv64',
  's390', 's390x', 'x64'];
const BUILT = { 'linux x64': '@veltrim/linux-x64 veltrim', 'linux arm64': '@veltrim/linux-arm64 veltrim',
  'win32 x64': '@veltrim/win32-x64 veltrim.exe' };

test('every system and processor maps to its package, or to none', () => {
  for (const system of SYSTEMS) {
    for (const arch of ARCHES) {
      const row = platformFor(system, arch);
      assert.strictEqual(row && `${row.pkg} ${row.exe}`, BUILT[`${system} ${arch}`] || null, `${system} ${arch}`);
    }
  }
  assert.strictEqual(PLATFORMS.length, Object.keys(BUILT).length);
  const line = noBinaryLine('darwin', 'arm64');
  for (const word of ['darwin-arm64', 'linux-x64', 'linux-arm64', 'win32-x64', 'VELTRIM_BINARY']) {
    assert.ok(line.includes(word) && !line.includes('\n'), `${word} in one line: ${line}`);
  }
});

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
];

test('the binary is found in the package of its system, or one line says why not', () => {
  for (const [env, system, arch, resolve, expected] of FOUND) {
    const found = findBinary(env, system, arch, resolve);
    const label = `${JSON.stringify(env)} ${system} ${arch}`;
    if (!expected.startsWith('message: ')) assert.strictEqual(found.path.replace(/\\/g, '/'), expected, label);
    else assert.ok(!found.path && found.message.includes(expected.slice(9)), `${label}: ${found.message}`);
  }
});
