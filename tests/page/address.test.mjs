// The addresses of a typed llama.cpp server and of a router's models
// (assets/page/address.js) under node.
import assert from 'node:assert/strict';
import { it } from 'node:test';
import { pure } from './pieces.mjs';

const { addressQuery, modelAddress, routerError } = pure([
  'addressQuery',
  'modelAddress',
  'routerError',
]);

it("adds the model to the address's query, before its fragment, encoded", () => {
  const cases = [
    ['http://h:8080', 'a', 'http://h:8080?model=a'],
    ['http://h/v1?x=1', 'a', 'http://h/v1?x=1&model=a'],
    ['http://h/#f?x', 'a', 'http://h/?model=a#f?x'],
    ['http://h?x#f', 'a', 'http://h?x&model=a#f'],
    ['http://h', "a b/c!'()*~._-", 'http://h?model=a%20b%2Fc%21%27%28%29%2A~._-'],
  ];
  for (const [url, id, want] of cases) assert.equal(modelAddress(url, id), want, `${url} ${id}`);
});

it("reads the model of the address's query, not of its fragment", () => {
  const cases = [
    ['http://h?model=a#x', 'a'],
    ['http://h?x=1&model=a%2Fb', 'a/b'],
    ['http://h#?model=a', null],
    ['http://h', null],
    ['', null],
  ];
  for (const [url, want] of cases) assert.equal(addressQuery(url).get('model'), want, url);
});

it("tells a router's answer to /slots without a model", () => {
  const cases = [
    [{ error: { code: 400, message: 'model is required' } }, true],
    [{ error: { code: '400' } }, true],
    [{ error: { code: 401 } }, false],
    [{ error: 'HTTP 400' }, false],
    [{ error: null }, false],
    [{ slots: [] }, false],
    [null, false],
  ];
  for (const [d, want] of cases) assert.equal(routerError(d), want, JSON.stringify(d));
});
