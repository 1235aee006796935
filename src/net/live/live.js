(function () {
  "use strict";
  var page = document.body.getAttribute("data-page");
  var data = JSON.parse(document.getElementById("live-data").textContent);
  // When the state was taken, on this browser's clock: the running times count on from there.
  var takenAt = Date.now();
  var content = document.getElementById("content");
  var status = document.getElementById("status");
  var live = false;

  function el(tag, cls, text) {
    var e = document.createElement(tag);
    if (cls) e.className = cls;
    if (text !== undefined && text !== null) e.textContent = String(text);
    return e;
  }
  function pad(n) { return n < 10 ? "0" + n : String(n); }
  // The running time as the program's clock shows it: h:mm.ss,t.
  function duration(ms) {
    var t = Math.floor(Math.max(ms, 0) / 100);
    var tenth = t % 10, s = Math.floor(t / 10) % 60, m = Math.floor(t / 600) % 60, h = Math.floor(t / 36000);
    if (h > 0) return h + ":" + pad(m) + "." + pad(s) + "," + tenth;
    if (m > 0) return m + "." + pad(s) + "," + tenth;
    return s + "," + tenth;
  }
  function table(headings, rows, numeric) {
    var wrap = el("div", "table"), t = el("table"), head = el("tr");
    headings.forEach(function (h) { head.appendChild(el("th", null, h)); });
    var thead = el("thead"); thead.appendChild(head); t.appendChild(thead);
    var body = el("tbody");
    rows.forEach(function (cells) {
      var tr = el("tr");
      cells.forEach(function (c, i) {
        var td = el("td", numeric.indexOf(i) >= 0 ? "num" : (headings[i] === "Name" ? "name" : null));
        if (c instanceof Node) td.appendChild(c); else td.textContent = c;
        tr.appendChild(td);
      });
      body.appendChild(tr);
    });
    t.appendChild(body); wrap.appendChild(t);
    return wrap;
  }
  function runningSpan(rider) {
    var span = el("span", "running", duration(rider.runningMs));
    span.setAttribute("data-ms", rider.runningMs);
    return span;
  }
  function lapList(rider) { return rider.lapTimes.join("  "); }

  function renderResults() {
    if (data.categories.length === 0) content.appendChild(el("p", "empty", "Noch kein Fahrer im Ziel."));
    data.categories.forEach(function (category) {
      content.appendChild(el("h2", null, category.name ? "Kategorie " + category.name : "Ergebnisse"));
      content.appendChild(table(["Pl.", "Nr.", "Name", "Rd.", "Letzte", "km/h", "Zeit"],
        category.riders.map(function (r) {
          return [r.place, r.number, r.name, r.laps, r.lastLap, r.speed, r.time];
        }), [0, 1, 3, 4, 5, 6]));
    });
    content.appendChild(el("h2", null, "Unterwegs (" + data.onCourse.length + ")"));
    if (data.onCourse.length === 0) content.appendChild(el("p", "empty", "Kein Fahrer unterwegs."));
    else content.appendChild(table(["Nr.", "Name", "Kat.", "Rd.", "Rundenzeiten", "Zeit"],
      data.onCourse.map(function (r) { return [r.number, r.name, r.category, r.laps, lapList(r), runningSpan(r)]; }),
      [0, 3, 5]));
  }

  var kinds = { start: "Start", lap: "Runde", finish: "Ziel", stop: "Stopp" };
  function eventText(e) {
    var who = "Nr. " + e.number + " " + e.name + (e.category ? " (" + e.category + ")" : "");
    if (e.kind === "start") return who + " ist gestartet";
    if (e.kind === "lap") return who + ": Runde " + e.lap + " in " + e.lapTime;
    if (e.kind === "finish")
      return who + ": im Ziel, Platz " + e.place + (e.category ? " in " + e.category : "") + ", Zeit " + e.time;
    return who + ": gestoppt nach " + e.lap + (e.lap === 1 ? " Runde" : " Runden");
  }
  function renderAnnouncer() {
    content.appendChild(el("h2", null, "Letzte Ereignisse"));
    if (data.events.length === 0) content.appendChild(el("p", "empty", "Noch keine Ereignisse."));
    var list = el("ol", "events");
    data.events.forEach(function (e) {
      var li = el("li", e.kind);
      li.appendChild(el("span", "when", e.clock + " · " + (kinds[e.kind] || e.kind)));
      li.appendChild(el("div", "what", eventText(e)));
      list.appendChild(li);
    });
    content.appendChild(list);
    content.appendChild(el("h2", null, "Unterwegs (" + data.onCourse.length + ")"));
    if (data.onCourse.length === 0) content.appendChild(el("p", "empty", "Kein Fahrer unterwegs."));
    else content.appendChild(table(["Nr.", "Name", "Kat.", "Rd.", "Letzte", "Fahrzeit"],
      data.onCourse.map(function (r) { return [r.number, r.name, r.category, r.laps, r.lastLap, runningSpan(r)]; }),
      [0, 3, 4, 5]));
  }

  function render() {
    content.textContent = "";
    if (page === "sprecher") renderAnnouncer(); else renderResults();
    var at = new Date(takenAt);
    status.textContent = "Stand " + pad(at.getHours()) + ":" + pad(at.getMinutes()) + ":" + pad(at.getSeconds()) +
      (live ? " · live" : " · wird alle 5 s aktualisiert") + (data.running ? "" : " · Uhr steht");
    status.className = "";
  }
  // A state and how old it was when it arrived.
  function take(next, ageMs) {
    data = next;
    takenAt = Date.now() - Math.max(Number(ageMs) || 0, 0);
    render();
  }
  // The running times count on in the browser (also after ENDE: riders on course are still timed).
  setInterval(function () {
    var spans = document.querySelectorAll("span.running");
    for (var i = 0; i < spans.length; ++i)
      spans[i].textContent = duration(Number(spans[i].getAttribute("data-ms")) + Date.now() - takenAt);
  }, 100);

  // Served by the program: pushed changes. As plain files on a web server: asked at once and
  // every 5 s; the file's age is what the web server says of it (both times on its clock). A
  // state older than the one shown (an answer overtaken by a later one) is not taken.
  var polling = false, asking = false;
  function ask() {
    if (asking) return;
    asking = true;
    fetch("api/results.json", { cache: "no-store" }).then(function (r) {
      var age = Date.parse(r.headers.get("Date") || "") - Date.parse(r.headers.get("Last-Modified") || "");
      return r.json().then(function (next) {
        if (!(next.takenAt < data.takenAt)) take(next, isNaN(age) ? 0 : age); else render();
      });
    }).catch(function () { status.className = "stale"; }).then(function () { asking = false; });
  }
  function poll() {
    if (polling) return;
    polling = true;
    live = false;
    render();
    ask();
    setInterval(ask, 5000);
  }
  if (window.EventSource) {
    var source = new EventSource("api/events");
    source.onopen = function () { live = true; render(); };
    source.onmessage = function (e) {
      live = true;
      var next = JSON.parse(e.data);
      take(next, next.ageMs);
    };
    source.onerror = function () {
      if (source.readyState === EventSource.CLOSED) poll();
      else { status.className = "stale"; }
    };
  } else {
    poll();
  }
  render();
})();
