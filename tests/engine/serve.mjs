// Serves one folder over HTTP on a free port of 127.0.0.1 and prints the port, for the engine
// check: a browser's loaders fetch a frame list and its sheet from a server, not from files.
// Usage: node serve.mjs FOLDER
import fs from 'node:fs';
import http from 'node:http';
import path from 'node:path';

const root = path.resolve(process.argv[2]);
const types = { '.html': 'text/html', '.js': 'text/javascript', '.json': 'application/json', '.bmp': 'image/bmp', '.png': 'image/png' };
const server = http.createServer((request, response) => {
  const file = path.join(root, decodeURIComponent(new URL(request.url, 'http://localhost').pathname));
  if (!file.startsWith(root + path.sep)) return response.writeHead(403).end();
  fs.readFile(file, (error, data) => {
    if (error) return response.writeHead(404).end();
    response.writeHead(200, { 'Content-Type': types[path.extname(file)] || 'application/octet-stream' }).end(data);
  });
});
server.listen(0, '127.0.0.1', () => console.log(server.address().port));
