#include "tools/journal-reader/report_assets.h"

const char REPORT_STYLE[] = R"css(
body { font-family: sans-serif; margin: 1em 2em; color: #222; }
h1 { font-size: 1.5em; }
h2 { font-size: 1.2em; margin-top: 1.5em; }
#damage h2 { color: #a01818; }
table { border-collapse: collapse; }
th, td { border-bottom: 1px solid #ddd; padding: 0.3em 0.6em; text-align: left; vertical-align: top; }
th { background: #f2f2f2; }
td.count { text-align: right; }
td.number { font-family: monospace; font-size: 1.1em; white-space: nowrap; }
td.time { white-space: nowrap; }
td.admitted { color: #11661e; }
td.refused { color: #a01818; }
td.none { color: #888; font-style: italic; }
img.snapshot { width: 176px; height: auto; display: block; }
#filters { margin: 0.5em 0 1em; display: flex; flex-wrap: wrap; gap: 1em; align-items: center; }
#filters output { color: #555; }
)css";

const char REPORT_SCRIPT[] = R"js(
(function () {
  'use strict';
  var rows = Array.prototype.slice.call(document.querySelectorAll('tr.passage'));
  var number = document.getElementById('filter-number');
  var day = document.getElementById('filter-day');
  var decision = document.getElementById('filter-decision');
  var shown = document.getElementById('shown');

  // Part of a number, in either case; "?" stands for any one character.
  function numberPattern(text) {
    var escaped = text.replace(/[.*+^${}()|[\]\\]/g, '\\$&').replace(/\?/g, '.');
    return new RegExp(escaped, 'i');
  }

  function apply() {
    var pattern = numberPattern(number.value.trim());
    var count = 0;
    rows.forEach(function (row) {
      var keep = pattern.test(row.dataset.number) &&
          (day.value === '' || row.dataset.day === day.value) &&
          (decision.value === '' || row.dataset.decision === decision.value);
      row.hidden = !keep;
      if (keep) count++;
    });
    shown.textContent = count + ' of ' + rows.length + ' passages shown';
  }

  function readFragment() {
    var wanted = new URLSearchParams(location.hash.slice(1));
    number.value = wanted.get('number') || '';
    day.value = wanted.get('day') || '';
    decision.value = wanted.get('decision') || '';
    apply();
  }

  function writeFragment() {
    var wanted = new URLSearchParams();
    if (number.value.trim() !== '') wanted.set('number', number.value.trim());
    if (day.value !== '') wanted.set('day', day.value);
    if (decision.value !== '') wanted.set('decision', decision.value);
    history.replaceState(null, '', '#' + wanted.toString());
    apply();
  }

  number.addEventListener('input', writeFragment);
  day.addEventListener('change', writeFragment);
  decision.addEventListener('change', writeFragment);
  window.addEventListener('hashchange', readFragment);
  readFragment();

  Array.prototype.forEach.call(document.querySelectorAll('img.snapshot'), function (img) {
    function note() { img.dataset.naturalWidth = img.naturalWidth; }
    img.addEventListener('load', note);
    img.addEventListener('error', note);
    if (img.complete) note();
  });
})();
)js";
