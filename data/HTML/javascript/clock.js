// Keeps the logo bar's time current.
(function () {
  function tick() {
    var el = document.getElementById('clock');
    if (!el) return;
    var d = new Date();
    function two(n) { return (n < 10 ? '0' : '') + n; }
    el.innerHTML = two(d.getHours()) + ':' + two(d.getMinutes()) + ':' + two(d.getSeconds());
  }
  setInterval(tick, 1000);
})();
