  // Addresses: the query of a typed llama.cpp address and the addresses of a
  // router's models (pure, like slot_math.js).

  // The query of a typed address (before any '#'), as parameters.
  function addressQuery(url) {
    var hash = url.indexOf('#');
    var q = url.indexOf('?');
    if (q < 0 || (hash >= 0 && hash < q)) return new URLSearchParams();
    return new URLSearchParams(url.slice(q + 1, hash >= 0 ? hash : undefined));
  }

  // Percent-encodes everything but letters, digits and '-._~': the program
  // accepts those characters in an address, and the server decodes them.
  function encodeParam(v) {
    return encodeURIComponent(v).replace(/[!'()*]/g, function (c) {
      return '%' + c.charCodeAt(0).toString(16).toUpperCase();
    });
  }

  // The address of a router model's slots: the typed address with the model
  // added to its query.
  function modelAddress(url, id) {
    var hash = url.indexOf('#');
    var base = hash >= 0 ? url.slice(0, hash) : url;
    var frag = hash >= 0 ? url.slice(hash) : '';
    return base + (base.indexOf('?') >= 0 ? '&' : '?') + 'model=' + encodeParam(id) + frag;
  }

  // A llama.cpp router answers /slots without a model with its 400 error
  // object.
  function routerError(d) {
    return !!d && !!d.error && typeof d.error === 'object' && Number(d.error.code) === 400;
  }
