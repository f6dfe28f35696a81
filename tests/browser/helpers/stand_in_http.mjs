// The tests' own HTTP: a stand-in llama.cpp server (and a server of small
// pages) on 127.0.0.1, each name with its own address whose /slots answers
// what the test set; and free ports, for servers and for addresses on which
// nothing listens.
import { createServer } from 'node:http';
import { createServer as createTcpServer } from 'node:net';

// A port that was free a moment ago; a server started on it may still lose
// it to someone else, so whoever starts one tries again with another.
export function freePort() {
  return new Promise((resolve, reject) => {
    const probe = createTcpServer();
    probe.on('error', reject);
    probe.listen(0, '127.0.0.1', () => {
      const { port } = probe.address();
      probe.close(() => resolve(port));
    });
  });
}

/** An address on which nothing listens. */
export const closedAddress = async () => `http://127.0.0.1:${await freePort()}`;

export async function startAnswers() {
  const routes = new Map();
  const hits = new Map();
  const waiters = [];

  const server = createServer(async (req, res) => {
    const path = req.url.split('?')[0];
    hits.set(path, (hits.get(path) || 0) + 1);
    for (const w of waiters.splice(0)) w();
    const route = routes.get(path);
    if (!route) {
      res.writeHead(404, { 'Content-Type': 'text/plain' });
      res.end('not found');
      return;
    }
    if (route.gate) await route.gate;
    res.writeHead(route.status, { 'Content-Type': route.type });
    res.end(route.body);
  });
  await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
  const origin = `http://127.0.0.1:${server.address().port}`;

  const api = {
    origin,
    /** The server address that a user types for `name`. */
    address: (name) => `${origin}/${name}`,
    /**
     * What `name`'s /slots answers: a body (an object or array becomes its
     * JSON text), a status and a content type. With `hold`, answers wait until
     * the returned release function is called.
     */
    slots(name, body, { status = 200, type = 'application/json', hold = false } = {}) {
      return api.serve(`/${name}/slots`, body, { status, type, hold });
    },
    /** Serves `body` at `path`; returns a release function when held. */
    serve(path, body, { status = 200, type = 'text/html', hold = false } = {}) {
      const text = typeof body === 'string' ? body : JSON.stringify(body);
      let release = () => {};
      const gate = hold ? new Promise((resolve) => (release = resolve)) : null;
      routes.set(path, { status, type, body: text, gate });
      return release;
    },
    /** How many requests `name`'s /slots received. */
    hits: (name) => hits.get(`/${name}/slots`) || 0,
    /** Resolves once `name`'s /slots has received `count` requests. */
    async waitForHits(name, count) {
      while (api.hits(name) < count) await new Promise((resolve) => waiters.push(resolve));
    },
    close: () =>
      new Promise((resolve) => {
        server.closeAllConnections();
        server.close(() => resolve());
      }),
  };
  return api;
}
