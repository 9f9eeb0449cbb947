// Serves the built site on 127.0.0.1 with the headers it wants anywhere it is hosted: its
// Content-Security-Policy (which workers take from the header alone) and the right types
// (application/wasm for the core). Used by `./dev.sh web` and by the page's tests.
//
//   node serve.mjs SITE_DIR [PORT]

import { createReadStream, statSync } from 'node:fs';
import { createServer } from 'node:http';
import { extname, join, normalize, sep } from 'node:path';
import { fileURLToPath } from 'node:url';

import { contentSecurityPolicy } from './site_policy.mjs';

const types = {
  '.html': 'text/html; charset=utf-8',
  '.js': 'text/javascript; charset=utf-8',
  '.mjs': 'text/javascript; charset=utf-8',
  '.css': 'text/css; charset=utf-8',
  '.wasm': 'application/wasm',
  '.svg': 'image/svg+xml',
  '.json': 'application/json',
};

// Resolves with the listening server and its address; port 0 takes a free one.
export function serveSite(root, port = 8080) {
  const server = createServer((request, response) => {
    const path = decodeURIComponent(new URL(request.url, 'http://localhost').pathname);
    const file = normalize(join(root, path.endsWith('/') ? `${path}index.html` : path));
    const inside = file.startsWith(normalize(root) + sep);
    const found = inside && ['GET', 'HEAD'].includes(request.method) && statSync(file, { throwIfNoEntry: false })?.isFile();
    if (!found) {
      response.writeHead(inside ? 404 : 403, { 'Content-Type': 'text/plain' }).end('Not found\n');
      return;
    }
    response.writeHead(200, {
      'Content-Type': types[extname(file)] ?? 'application/octet-stream',
      'Content-Security-Policy': contentSecurityPolicy,
      'X-Content-Type-Options': 'nosniff',
      'Referrer-Policy': 'no-referrer',
      'Cache-Control': 'no-cache',
    });
    if (request.method === 'HEAD') response.end();
    else createReadStream(file).pipe(response);
  });
  return new Promise((resolve, reject) => {
    server.once('error', reject);
    server.listen(port, '127.0.0.1', () => resolve({ server, url: `http://127.0.0.1:${server.address().port}/` }));
  });
}

if (process.argv[1] === fileURLToPath(import.meta.url)) {
  const [root, port] = process.argv.slice(2);
  const { url } = await serveSite(root, Number(port ?? 8080));
  console.log(`Veltrimax in the browser: ${url} (Ctrl-C stops)`);
}
