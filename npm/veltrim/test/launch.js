'use strict';
// The launcher as bin/veltrim runs it, for the tests: there, bin/veltrim may be the binary.
require('./package.js').load('lib/launcher.js').main();
