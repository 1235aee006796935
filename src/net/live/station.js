(function () {
  "use strict";
  var STALE_LINK = "Dieser Stationslink gilt nicht mehr. Bitte den Code am Laptop neu scannen.";
  var ROLES = ["Zeit", "Nummern", "Zeit + Nummer", "Start"];
  var BATCH = 100, SYNC_ROUNDS = 8, RESYNC_MS = 30000, HEARTBEAT_MS = 10000, KEEP_DONE = 5;

  function $(id) { return document.getElementById(id); }
  function el(tag, cls, text) {
    var e = document.createElement(tag);
    if (cls) e.className = cls;
    if (text !== undefined) e.textContent = String(text);
    return e;
  }
  // Everything the station keeps lives in localStorage: a reload, a flat battery or a walk out of
  // the network's reach loses no pass. A browser that refuses storage still works for this visit.
  function load(key, fallback) {
    try {
      var v = window.localStorage.getItem("veltrano.station." + key);
      return v === null ? fallback : JSON.parse(v);
    } catch (e) { return fallback; }
  }
  function save(key, value) {
    try { window.localStorage.setItem("veltrano.station." + key, JSON.stringify(value)); } catch (e) { /* kept in memory */ }
  }
  function randomHex(digits) {
    var bytes = new Uint8Array(digits / 2), out = "";
    window.crypto.getRandomValues(bytes);
    for (var i = 0; i < bytes.length; ++i) out += (bytes[i] < 16 ? "0" : "") + bytes[i].toString(16);
    return out;
  }

  // The token travels in the fragment only, which the browser never sends; a fresh scan replaces
  // a kept one.
  function fragmentToken() {
    var m = /(?:^#|&)k=([0-9a-fA-F]{32})(?:&|$)/.exec(window.location.hash);
    return m ? m[1].toLowerCase() : "";
  }
  var token = fragmentToken() || String(load("token", ""));
  if (fragmentToken()) save("token", token);

  var prefix = String(load("prefix", ""));
  if (!/^[0-9a-f]{8}$/.test(prefix)) { prefix = randomHex(8); save("prefix", prefix); }
  // The counter is written before the pass exists, so a reload can never hand out an id again.
  function nextId() {
    var n = (Number(load("counter", 0)) || 0) + 1;
    save("counter", n);
    return prefix + "-" + n;
  }

  function cleanName(text) { return String(text).replace(/[\u0000-\u001f\u007f]/g, "").trim().slice(0, 40); }
  var device = cleanName(load("device", "")) || "Handy " + (1 + Math.floor(Math.random() * 99));
  save("device", device);
  var role = String(load("role", "Zeit"));
  if (ROLES.indexOf(role) < 0) role = "Zeit";

  // The phone's clock; tests move it with veltranoClockShiftMs. Event instants use the same base.
  var origin = performance.timeOrigin || Date.now() - performance.now();
  function shift() { return Number(window.veltranoClockShiftMs) || 0; }
  function localNow() { return origin + performance.now() + shift(); }
  // When the finger came down, not when the handler got to run. A browser that reports no usable
  // event time gets the handler's instant.
  function eventInstant(e) {
    var stamp = Number(e.timeStamp);
    var at = stamp > 1e12 ? stamp + shift() : origin + stamp + shift();
    var now = localNow();
    return isFinite(at) && stamp > 0 && at <= now + 5 && at > now - 10000 ? at : now;
  }

  var offset = 0, accuracy = -1, synced = false, syncing = false, syncs = 0, clockLost = false;
  function laptopNow() { return localNow() + offset; }
  // A phone asleep may stop the clock that event times come from while its wall clock runs on;
  // then the offset is stale until the next sync, and a tap waits for it.
  function monotonicLag() { return Date.now() - (origin + performance.now()); }
  var lagAtSync = 0, syncTimer = 0;
  function offsetCurrent() { return synced && Math.abs(monotonicLag() - lagAtSync) < 100; }

  function timedFetch(url, options, ms) {
    var abort = window.AbortController ? new AbortController() : null;
    if (abort) { options.signal = abort.signal; setTimeout(function () { abort.abort(); }, ms); }
    return fetch(url, options);
  }
  function roundTrip() {
    var t0 = localNow();
    return timedFetch("api/clock", { cache: "no-store" }, 3000).then(function (r) {
      if (!r.ok) throw new Error("clock " + r.status);
      return r.json();
    }).then(function (answer) {
      var t1 = localNow();
      if (typeof answer.now !== "number") throw new Error("clock answer");
      return { t0: t0, t1: t1, now: answer.now };
    });
  }
  // The offset from the fastest of several round trips: its midpoint is the closest to when the
  // laptop read its clock.
  function sync() {
    if (syncing) return;
    syncing = true;
    var best = null, rounds = 0;
    function step() {
      if (rounds++ >= SYNC_ROUNDS) return Promise.resolve();
      return roundTrip().then(function (s) {
        if (!best || s.t1 - s.t0 < best.t1 - best.t0) best = s;
      }, function () { /* counted as a lost round */ }).then(step);
    }
    step().then(function () {
      syncing = false;
      if (best) {
        offset = best.now - (best.t0 + best.t1) / 2;
        lagAtSync = monotonicLag();
        accuracy = Math.max(1, Math.ceil((best.t1 - best.t0) / 2));
        synced = true;
        clockLost = false;
        ++syncs;
        stampWaiting();
        send(true);  // the laptop lists the station with its accuracy at once
      } else {
        clockLost = true;
      }
      render();
      clearTimeout(syncTimer);  // one schedule, however often a sync was asked for
      syncTimer = setTimeout(sync, best ? RESYNC_MS : 2000);
    });
  }

  // Every pass the station made that the laptop has not answered for, in the order made, and the
  // last few answered ones for the list.
  var passes = load("passes", []);
  if (!Array.isArray(passes)) passes = [];
  var sentThisVisit = 0;
  function waiting() { return passes.filter(function (p) { return p.state === "wartet"; }); }
  function keep() {
    var done = 0;
    for (var i = passes.length - 1; i >= 0; --i) {
      if (passes[i].state !== "wartet" && ++done > KEEP_DONE) passes.splice(i, 1);
    }
    save("passes", passes);
  }
  function stampWaiting() {
    passes.forEach(function (p) { if (p.timed && p.t === undefined) p.t = Math.round(p.at + offset); });
    keep();
  }
  function addPass(at, timed, nr) {
    var pass = { id: nextId(), at: at, timed: timed, state: "wartet" };
    if (timed && offsetCurrent()) pass.t = Math.round(at + offset);
    else if (timed && synced) sync();
    if (nr) pass.nr = nr;
    passes.push(pass);
    keep();
    render();
    send(false);
  }

  var inFlight = false, holdUntil = 0, lastRequest = -1e9, offline = false, problem = "";
  function wire(p) {
    var w = { id: p.id };
    if (p.timed) w.t = p.t;
    if (p.nr) w.nr = p.nr;
    return w;
  }
  function settle(answer) {
    var state = {};
    (answer.taken || []).concat(answer.known || []).forEach(function (id) { state[id] = "gesendet"; });
    (answer.rejected || []).forEach(function (id) { state[id] = "abgelehnt"; });
    passes.forEach(function (p) {
      if (p.state === "wartet" && state[p.id]) { p.state = state[p.id]; ++sentThisVisit; }
    });
    keep();
  }
  // One request: the oldest waiting passes, or none as a heartbeat. A pass whose time still waits
  // for the clock holds back the ones after it, so the laptop gets them in the order made.
  function send(heartbeat) {
    if (!token || inFlight || performance.now() < holdUntil) return;
    var batch = [];
    var queue = waiting();
    for (var i = 0; i < queue.length && batch.length < BATCH; ++i) {
      if (queue[i].timed && queue[i].t === undefined) break;
      batch.push(wire(queue[i]));
    }
    if (batch.length === 0 && !heartbeat) return;
    var body = { device: device, role: role, passes: batch };
    if (synced) body.accuracyMs = accuracy;
    inFlight = true;
    lastRequest = performance.now();
    timedFetch("api/passes", {
      method: "POST",
      cache: "no-store",
      headers: { "Authorization": "Bearer " + token, "Content-Type": "application/json" },
      body: JSON.stringify(body)
    }, 10000).then(function (r) {
      offline = false;
      if (r.status === 200) {
        return r.json().then(function (answer) { problem = ""; settle(answer); });
      }
      if (r.status === 401 || r.status === 403) {
        // Kept: a new scan brings a valid link and everything still goes out.
        problem = STALE_LINK;
        holdUntil = performance.now() + HEARTBEAT_MS;
        return undefined;
      }
      if (r.status === 429) {
        holdUntil = performance.now() + 1000 * Math.min(Math.max(parseFloat(r.headers.get("Retry-After")) || 1, 1), 60);
        return undefined;
      }
      return r.json().then(function (e) { problem = String(e.error || "Fehler " + r.status); },
        function () { problem = "Fehler " + r.status; });
    }, function () { offline = true; }).then(function () {
      inFlight = false;
      render();
      if (!problem && !offline && waiting().length > 0) send(false);
    });
  }
  setInterval(function () {
    if (waiting().length > 0) send(false);
    if (performance.now() - lastRequest >= HEARTBEAT_MS) send(true);
  }, 1000);

  // Sound for the starter: short beeps at 10 and 5..1 s, a long high one at the start. Browsers
  // let a page sound only after a press, so the role buttons unlock it.
  var audio = null, beeps = 0;
  function unlockAudio() {
    var Context = window.AudioContext || window.webkitAudioContext;
    if (!Context) return;
    try {
      if (!audio) audio = new Context();
      if (audio.state === "suspended") audio.resume();
    } catch (e) { audio = null; }
  }
  function beep(long) {
    ++beeps;
    if (!audio || audio.state !== "running") return;
    var t = audio.currentTime, d = long ? 0.6 : 0.12;
    var osc = audio.createOscillator(), gain = audio.createGain();
    osc.frequency.value = long ? 1320 : 880;
    gain.gain.setValueAtTime(0.0001, t);
    gain.gain.exponentialRampToValueAtTime(0.6, t + 0.01);
    gain.gain.setValueAtTime(0.6, t + d - 0.03);
    gain.gain.exponentialRampToValueAtTime(0.0001, t + d);
    osc.connect(gain);
    gain.connect(audio.destination);
    osc.start(t);
    osc.stop(t + d + 0.02);
  }
  var MARKS = [10, 5, 4, 3, 2, 1, 0], beepedFor = 0, beeped = {};
  function beepsDue(atMs, remaining) {
    if (atMs !== beepedFor) { beepedFor = atMs; beeped = {}; }
    MARKS.forEach(function (m) {
      // A mark passed long ago (the page opened late, the phone slept) stays silent.
      if (remaining <= m * 1000 && remaining > m * 1000 - 400 && !beeped[m]) {
        beeped[m] = true;
        beep(m === 0);
      }
    });
  }

  // The next starter, from the results as the laptop pushes them.
  var data = {};
  try { data = JSON.parse($("live-data").textContent) || {}; } catch (e) { data = {}; }
  // The browser reconnects by itself after a dropped line, but gives up for good on a refused
  // one (a laptop restarting its server): then a new channel after a while.
  function listen() {
    var source = new EventSource("api/events");
    source.onmessage = function (e) {
      try { data = JSON.parse(e.data) || {}; } catch (err) { return; }
      renderStart();
    };
    source.onerror = function () {
      if (source.readyState === EventSource.CLOSED) setTimeout(listen, 3000);
    };
  }
  if (window.EventSource) listen();
  function pad(n) { return n < 10 ? "0" + n : String(n); }
  function renderStart() {
    var next = data.next, rider = $("next-rider"), count = $("countdown");
    if (!next) {
      rider.textContent = "";
      count.textContent = "Kein Starter wartet";
      count.className = "none";
      return;
    }
    rider.textContent = (next.number ? "Nr. " + next.number : "") + (next.name ? " " + next.name : "");
    var atMs = Number(next.atMs) || 0;
    if (atMs <= 0) {
      count.textContent = "Kein automatischer Start";
      count.className = "none";
      return;
    }
    var remaining = atMs - laptopNow();
    var s = Math.max(Math.ceil(remaining / 1000), 0);
    count.textContent = Math.floor(s / 60) + ":" + pad(s % 60);
    count.className = remaining <= 10000 ? "soon" : "";
    if (role === "Start") beepsDue(atMs, remaining);
  }
  setInterval(renderStart, 50);

  // Drawing.
  function clockText(ms) {
    var d = new Date(ms);
    return pad(d.getHours()) + ":" + pad(d.getMinutes()) + ":" + pad(d.getSeconds()) + "," +
      Math.floor(d.getMilliseconds() / 100);
  }
  function render() {
    var clock = $("clock");
    clock.textContent = (synced ? "Uhr ±" + accuracy + " ms" : clockLost ? "Uhr: Laptop nicht erreichbar" : "Uhr wird abgeglichen …") +
      (offline && synced ? " · offline" : "");
    clock.className = synced && !offline ? "" : "bad";
    var shown = !token ? "Kein Stationslink. Bitte den Code am Laptop scannen." : problem;
    $("problem").textContent = shown;
    $("problem").hidden = !shown;
    var roles = document.querySelectorAll("#roles button");
    for (var i = 0; i < roles.length; ++i) roles[i].setAttribute("aria-checked", String(roles[i].getAttribute("data-role") === role));
    $("tap").hidden = role !== "Zeit";
    $("keypad").hidden = role !== "Nummern" && role !== "Zeit + Nummer";
    $("start").hidden = role !== "Start";
    $("ok").textContent = role === "Nummern" ? "OK" : "Enter";
    $("entry").textContent = entry;
    var count = waiting().length;
    $("passes").hidden = role === "Start" && count === 0;
    $("waiting").textContent = count ? "(" + count + (count === 1 ? " wartet)" : " warten)") : "";
    var list = $("recent");
    list.textContent = "";
    if (passes.length === 0) list.appendChild(el("li", "none", "Noch keine Zeit."));
    passes.slice(-KEEP_DONE).reverse().forEach(function (p) {
      var li = el("li", p.state === "wartet" ? "waits" : p.state === "abgelehnt" ? "rejected" : "");
      var when = p.t !== undefined ? p.t : synced ? p.at + offset : null;
      li.appendChild(el("span", "when", when === null ? "Uhr fehlt" : clockText(when)));
      li.appendChild(el("span", "nr", p.nr ? "Nr. " + p.nr : p.timed ? "" : "–"));
      li.appendChild(el("span", "state", p.state));
      list.appendChild(li);
    });
    renderStart();
  }

  // Input. A press counts when the finger comes down (pointerdown); a button worked from a
  // keyboard only clicks, with detail 0.
  function flash(button) {
    button.classList.add("hit");
    setTimeout(function () { button.classList.remove("hit"); }, 120);
  }
  function onPress(button, act) {
    button.addEventListener("pointerdown", function (e) {
      if (e.button > 0) return;
      e.preventDefault();
      flash(button);
      act(eventInstant(e));
    });
    button.addEventListener("click", function (e) { if (e.detail === 0) act(eventInstant(e)); });
  }
  var entry = "";
  function key(k, at) {
    if (/^[0-9]$/.test(k)) {
      if (entry.length < 6) entry += k;
    } else if (k === "back") {
      entry = entry.slice(0, -1);
    } else if (k === "ok") {
      if (role === "Nummern" && entry) addPass(at, false, entry);
      else if (role === "Zeit + Nummer") addPass(at, true, entry);
      entry = "";
    }
    render();
  }
  onPress($("tap-button"), function (at) { addPass(at, true, ""); });
  Array.prototype.forEach.call(document.querySelectorAll(".keys button"), function (b) {
    onPress(b, function (at) { key(b.getAttribute("data-key"), at); });
  });
  Array.prototype.forEach.call(document.querySelectorAll("#roles button"), function (b) {
    b.addEventListener("click", function () {
      unlockAudio();
      role = b.getAttribute("data-role");
      save("role", role);
      entry = "";
      render();
      send(true);
    });
  });
  document.addEventListener("keydown", function (e) {
    if (e.target === $("device") || e.repeat) return;
    if (role === "Zeit" && (e.key === " " || e.key === "Enter") && e.target === document.body) {
      e.preventDefault();
      addPass(eventInstant(e), true, "");
      return;
    }
    if (role !== "Nummern" && role !== "Zeit + Nummer") return;
    var k = /^[0-9]$/.test(e.key) ? e.key : e.key === "Backspace" ? "back" : e.key === "Enter" ? "ok" : "";
    if (!k || (e.target.tagName === "BUTTON" && e.key === "Enter")) return;
    e.preventDefault();
    key(k, eventInstant(e));
  });
  var nameField = $("device");
  nameField.value = device;
  nameField.addEventListener("input", function () {
    var name = cleanName(nameField.value);
    if (name) { device = name; save("device", device); }
  });
  nameField.addEventListener("blur", function () { nameField.value = device; });
  window.addEventListener("hashchange", function () {
    var fresh = fragmentToken();
    if (fresh && fresh !== token) {
      token = fresh;
      save("token", token);
      problem = "";
      holdUntil = 0;
      render();
      send(true);
    }
  });
  document.addEventListener("visibilitychange", function () {
    if (document.visibilityState === "visible") { sync(); send(true); }
  });

  // For the browser tests; nothing on the page depends on it.
  window.veltranoStation = {
    state: function () {
      return { offsetMs: offset, accuracyMs: accuracy, synced: synced, syncs: syncs, queued: waiting().length,
               sent: sentThisVisit, role: role, device: device, beeps: beeps, problem: problem,
               laptopNowMs: laptopNow() };
    }
  };

  render();
  sync();
  send(true);
})();
