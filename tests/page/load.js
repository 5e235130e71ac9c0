// Loads the manage page's scripts into this process the way the page does: in order, as plain
// scripts sharing one global namespace.
'use strict';
const fs = require('fs');
const path = require('path');
const vm = require('vm');

const folder = path.join(__dirname, '..', '..', 'resources', 'manage');

function load(...names) {
  for (const name of names) {
    const file = path.join(folder, name);
    vm.runInThisContext(fs.readFileSync(file, 'utf8'), {filename: file});
  }
  return globalThis.Parlendo;
}

module.exports = {load, folder};
