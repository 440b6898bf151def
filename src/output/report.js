'use strict';
// The results arrive as R([...]) chunks after this script; the table is drawn once the page has
// been read, also when it was cut off after its last whole chunk.
var D = [];
function R(rows) {
  for (var i = 0; i < rows.length; i++) D.push(rows[i]);
}

document.addEventListener('DOMContentLoaded', function () {
  var pageRows = 500;
  var table = document.getElementById('results');
  var body = table.tBodies[0];
  var headers = Array.prototype.slice.call(table.tHead.rows[0].cells);
  var columns = headers.map(function (th) { return th.getAttribute('data-column'); });
  var fileColumn = columns.indexOf('file');
  var errorColumn = columns.indexOf('error');
  var filter = document.getElementById('filter');
  var shown = document.getElementById('rows-shown');
  var prev = document.getElementById('prev');
  var next = document.getElementById('next');

  // A byte of a name that is not UTF-8 comes as the lone surrogate U+DC80 + byte; it is shown as
  // \xNN, as the command line shows it on a terminal.
  function shownText(value) {
    if (value === null || value === undefined) return '';
    if (typeof value !== 'string') return String(value);
    return value.replace(/[\udc80-\udcff]/gu, function (c) {
      return '\\x' + (c.charCodeAt(0) - 0xdc00).toString(16).toUpperCase();
    });
  }

  function failed(row) {
    return row[errorColumn] !== null && row[errorColumn] !== '';
  }

  var defaultOrder = [];
  D.forEach(function (row, i) { if (failed(row)) defaultOrder.push(i); });
  D.forEach(function (row, i) { if (!failed(row)) defaultOrder.push(i); });

  var lowerNames = null;
  var order = defaultOrder;
  var sortColumn = -1;
  var descending = false;
  var first = 0;

  function matching(indices) {
    var wanted = filter.value.toLowerCase();
    if (!wanted) return indices;
    if (!lowerNames) lowerNames = D.map(function (row) { return shownText(row[fileColumn]).toLowerCase(); });
    return indices.filter(function (i) { return lowerNames[i].indexOf(wanted) >= 0; });
  }

  function compare(a, b) {
    var x = D[a][sortColumn];
    var y = D[b][sortColumn];
    var xEmpty = x === null || x === '';
    var yEmpty = y === null || y === '';
    // Empty values go last whichever way the column is sorted.
    if (xEmpty || yEmpty) return xEmpty === yEmpty ? a - b : xEmpty ? 1 : -1;
    if (typeof x === 'boolean') { x = +x; y = +y; }
    var order = typeof x === 'number' ? x - y : x < y ? -1 : x > y ? 1 : 0;
    if (order === 0) return a - b;
    return descending ? -order : order;
  }

  function sortBy(column) {
    descending = column === sortColumn ? !descending : false;
    sortColumn = column;
    headers.forEach(function (th, i) {
      if (i === column) th.setAttribute('aria-sort', descending ? 'descending' : 'ascending');
      else th.removeAttribute('aria-sort');
    });
    order = defaultOrder.slice().sort(compare);
    first = 0;
    render();
  }

  function render() {
    var rows = matching(order);
    if (first >= rows.length) first = Math.max(0, rows.length - pageRows);
    var last = Math.min(first + pageRows, rows.length);
    var fragment = document.createDocumentFragment();
    for (var r = first; r < last; r++) {
      var row = D[rows[r]];
      var tr = document.createElement('tr');
      if (failed(row)) tr.className = 'failed';
      for (var c = 0; c < columns.length; c++) {
        var td = document.createElement('td');
        td.textContent = shownText(row[c]);
        tr.appendChild(td);
      }
      fragment.appendChild(tr);
    }
    body.textContent = '';
    body.appendChild(fragment);
    shown.textContent = rows.length === 0 ? '0 of 0' : (first + 1) + '\u2013' + last + ' of ' + rows.length;
    prev.disabled = first === 0;
    next.disabled = last >= rows.length;
  }

  headers.forEach(function (th, i) {
    th.addEventListener('click', function () { sortBy(i); });
  });
  filter.addEventListener('input', function () { first = 0; render(); });
  prev.addEventListener('click', function () { first = Math.max(0, first - pageRows); render(); });
  next.addEventListener('click', function () { first += pageRows; render(); });
  render();
});
