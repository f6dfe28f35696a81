(function(){})();
