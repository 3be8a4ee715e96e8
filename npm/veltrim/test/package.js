'use strict';
// The package under test: this source tree, or an installed copy named by VELTRIM_PACKAGE.
// Here the binary comes from VELTRIM_BINARY (a build of the tool); installed, from its package.
const path = require('path');

const root = path.resolve(process.env.VELTRIM_PACKAGE || path.join(__dirname, '..'));
const load = (file) => require(path.join(root, file));

module.exports = { root, load };
