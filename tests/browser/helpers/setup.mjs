// What every test file starts with: the CGI host, the stand-in llama.cpp
// server and one browser, all stopped when the file's tests are done.
import { after, before } from 'node:test';
import { launchBrowser, waitForRenders } from './browser.mjs';
import { startHost } from './host.mjs';
import { startAnswers } from './stand_in_http.mjs';

/**
 * Starts everything before the file's tests. `env` (an object, or a
 * function called at start) is the program's environment under the host.
 * The returned object gains `host`, `answers` and `browser` once started.
 */
export function useSetup(env = {}) {
  const s = {};
  before(async () => {
    [s.host, s.answers, s.browser] = await Promise.all([
      startHost(typeof env === 'function' ? env() : env),
      startAnswers(),
      launchBrowser(),
    ]);
  });
  after(async () => {
    await Promise.all([s.browser?.close(), s.answers?.close(), s.host?.stop()]);
  });

  /** The monitor's address with the given query parameters, in order. */
  s.monitor = (params = {}) => {
    const query = new URLSearchParams(params).toString();
    return query ? `${s.host.url}?${query}` : s.host.url;
  };

  /**
   * Opens the monitor in a fresh context and waits for its first rendering.
   * The clock is paused at `clock` (default: now), so the 1.5 s timer fires
   * only when a test runs the clock.
   */
  s.open = async (params = {}, options = {}) => {
    const page = await s.browser.newPage({ clock: Date.now(), ...options });
    await page.goto(s.monitor(params));
    await waitForRenders(page, 1);
    return page;
  };
  return s;
}
