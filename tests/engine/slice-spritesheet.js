// Phaser's own spritesheet parser (its source, from the package make test fetches) in Node.js:
// for each sheet read from standard input as JSON ([{width, height, frameWidth, frameHeight,
// margin, spacing}]), the frames Phaser's load.spritesheet cuts from a sheet of that size with
// those numbers, as [[x, y, w, h], ...], written as JSON to standard output.
const SpriteSheet = require(process.argv[2] + '/src/textures/parsers/SpriteSheet.js');
const sheets = JSON.parse(require('fs').readFileSync(0, 'utf8'));
process.stdout.write(JSON.stringify(sheets.map((s) => {
  const frames = [];
  const texture = { source: [{ width: s.width, height: s.height }],
    add: (name, source, x, y, w, h) => { if (name !== '__BASE') frames.push([x, y, w, h]); } };
  SpriteSheet(texture, 0, 0, 0, s.width, s.height, s);
  return frames;
})));
