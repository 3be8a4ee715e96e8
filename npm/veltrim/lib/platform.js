'use strict';
// Which package holds the tool for a system, by Node's own names for it (process.platform,
// process.arch): a pure table, so that every pair is tested without that system at hand.

// One row per binary the project builds. The packaging script makes one package of each row,
// and the launcher's package lists them all as optional dependencies; npm, pnpm and Yarn
// install only the one whose "os" and "cpu" fit.
const PLATFORMS = [
  { platform: 'linux', arch: 'x64', pkg: '@veltrim/linux-x64', exe: 'veltrim' },
  { platform: 'linux', arch: 'arm64', pkg: '@veltrim/linux-arm64', exe: 'veltrim' },
  { platform: 'win32', arch: 'x64', pkg: '@veltrim/win32-x64', exe: 'veltrim.exe' },
];

// The row for a system, or null where no binary is built for it.
function platformFor(platform, arch) {
  return PLATFORMS.find((p) => p.platform === platform && p.arch === arch) || null;
}

// The one line said where there is no binary: which systems there are, and what else works.
function noBinaryLine(platform, arch) {
  const there = PLATFORMS.map((p) => `${p.platform}-${p.arch}`).join(', ');
  return `veltrim: no binary for ${platform}-${arch} (there are ${there}); build it from ` +
    'source with CMake and set VELTRIM_BINARY to it, or use the setup, winget, Scoop or .deb.';
}

module.exports = { PLATFORMS, platformFor, noBinaryLine };
