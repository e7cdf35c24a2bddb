"use strict";
(() => {
  const DATA = JSON.parse(document.getElementById("gallery-data").textContent);
  const PPB = DATA.pipsPerBeat, QUANT = DATA.quant, FAMILY_WORDS = DATA.familyWords || {};
  const ALPHABET = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  const DIGIT = new Int8Array(128).fill(-1);
  for (let i = 0; i < ALPHABET.length; i++) DIGIT[ALPHABET.charCodeAt(i)] = i;
  const ESCAPE = 63, MAX_STEP = 31;
  const TEMPO_MIN = 20, TEMPO_MAX = 300;

  const AXIS_COLOURS = ["#ff7b7b", "#5ad47a", "#5cb3f9"];
  const COLLECTION_COLOURS = {
    formula: "#ffb547", initial: "#38d9a9", expansion: "#b197fc", atlas: "#4dabf7",
    continuum: "#a9e34b", club: "#f783ac", dancefloor: "#ff922b",
  };
  const SPARE_COLOURS = ["#66d9e8", "#ffd43b", "#e599f7", "#8ce99a"];
  const LABEL = "#b4bccb", GRID = "#283041", FIELD = "#0f131a";
  const collectionColour = (() => {
    const extra = {};
    return (name) => COLLECTION_COLOURS[name] || (extra[name] ??= SPARE_COLOURS[Object.keys(extra).length % SPARE_COLOURS.length]);
  })();

  // Depth colour over t in [-1, 1]: far cool blue, through pale grey, to near warm orange.
  const DEPTH_STOPS = [[-1, [59, 91, 219]], [0, [206, 212, 222]], [1, [255, 146, 43]]];
  function depthColour(t) {
    t = Math.max(-1, Math.min(1, t));
    const [a, b] = t < 0 ? [DEPTH_STOPS[0], DEPTH_STOPS[1]] : [DEPTH_STOPS[1], DEPTH_STOPS[2]];
    const f = (t - a[0]) / (b[0] - a[0]);
    const c = a[1].map((v, i) => Math.round(v + (b[1][i] - v) * f));
    return `rgb(${c[0]},${c[1]},${c[2]})`;
  }

  const BEAT = /^beat_(.+)_([a-z0-9]+)$/, OWN = /^(.+)_([a-z0-9]+)$/;
  const rows = DATA.rows.map((r, index) => {
    const [name, description, period, dims, collection, data] = r;
    // A groove of the host's own is named <part>_<motion>, without the prefix.
    const family = name.split("_")[0], beat = BEAT.exec(name) || (collection === "host" ? OWN.exec(name) : null);
    const words = [name, name.replace(/_/g, " "), description, collection, family, FAMILY_WORDS[family] || ""];
    return {
      index, name, description, period, dims, collection, data, family,
      groove: beat ? beat[1] : "", motion: beat ? beat[2] : "",
      haystack: words.join(" ").toLowerCase(), samples: null, view: null, card: null, fig: null, lastDrawn: null,
    };
  });
  const byName = new Map(rows.map((row) => [row.name, row]));
  const beatCell = new Map(rows.filter((row) => row.groove).map((row) => [`${row.groove} ${row.motion}`, row]));

  // Every pip's (x, y, z) as a flat Float64Array; each axis is stored as steps
  // between the levels of successive pips, with an escape for larger steps.
  function samplesOf(row) {
    if (row.samples) return row.samples;
    const n = row.period, out = new Float64Array(n * 3), text = row.data;
    let pos = 0;
    for (let a = 0; a < row.dims; a++) {
      let level = 0;
      for (let p = 0; p < n; p++) {
        const d = DIGIT[text.charCodeAt(pos)];
        if (d === ESCAPE) {
          level = DIGIT[text.charCodeAt(pos + 1)] * 64 + DIGIT[text.charCodeAt(pos + 2)] - QUANT;
          pos += 3;
        } else {
          level += d - MAX_STEP;
          pos += 1;
        }
        out[p * 3 + a] = level / QUANT;
      }
    }
    row.data = null;
    return (row.samples = out);
  }

  // The sample in force at a (fractional) clock pip: the value at the whole
  // pip it has reached, as kinetrope.sample gives it; nothing in between.
  const wrap = (row, pip) => ((Math.floor(pip) % row.period) + row.period) % row.period;
  function offsetAt(row, pip, into) {
    const s = samplesOf(row), k = wrap(row, pip) * 3;
    into[0] = s[k]; into[1] = s[k + 1]; into[2] = s[k + 2];
    return into;
  }

  const NICE = [1, 0.75, 0.5, 0.4, 0.3, 0.25, 0.2, 0.15, 0.1, 0.075, 0.05, 0.04, 0.03, 0.02, 0.01];
  const niceExtent = (peak) => {
    let e = 1;
    for (const v of NICE) if (v >= peak * 1.04) e = v;
    return e;
  };

  // How a row is best shown: one lane when a single axis moves; x-z or y-z
  // when depth leads; otherwise x-y with depth as colour. Small motions are
  // zoomed to a labelled extent.
  function viewOf(row) {
    if (row.view) return row.view;
    const s = samplesOf(row), lo = [Infinity, Infinity, Infinity], hi = [-Infinity, -Infinity, -Infinity];
    const peak = [0, 0, 0];
    for (let k = 0; k < s.length; k += 3) {
      for (let a = 0; a < 3; a++) {
        const v = s[k + a];
        if (v < lo[a]) lo[a] = v;
        if (v > hi[a]) hi[a] = v;
        if (Math.abs(v) > peak[a]) peak[a] = Math.abs(v);
      }
    }
    const span = [0, 1, 2].map((a) => hi[a] - lo[a]);
    const moving = [0, 1, 2].filter((a) => a < row.dims && span[a] > 1e-9);
    let kind = "xy", h = 0, v = 1;
    if (moving.length <= 1) kind = "lane";
    else if (row.dims === 3 && span[2] > span[0] && span[2] > span[1]) {
      h = span[0] >= span[1] ? 0 : 1; v = 2; kind = "xz";
    }
    const lane = moving.length ? moving[0] : 0;
    const extent = kind === "lane" ? niceExtent(peak[lane]) : niceExtent(Math.max(peak[h], peak[v]));
    const laneExtent = niceExtent(Math.max(...peak.slice(0, row.dims)));
    return (row.view = { kind, h, v, lane, extent, laneExtent, zLo: lo[2], zHi: hi[2] });
  }

  const depthMode = { own: false };
  function zColour(row, z) {
    if (!depthMode.own) return depthColour(z);
    const { zLo, zHi } = viewOf(row);
    return depthColour(zHi - zLo > 1e-9 ? (2 * (z - zLo)) / (zHi - zLo) - 1 : 0);
  }

  // Figure geometry for a width and height in CSS pixels.
  function layout(row, W, H) {
    const view = viewOf(row), g = { W, H, view };
    if (view.kind === "lane") {
      g.lanes = [{ axis: view.lane, top: 4, h: H - 8 }];
      g.laneX = 30; g.laneW = W - 34;
    } else {
      g.plane = H;
      const half = H / 2 - 10, e = view.extent;
      g.px = (x) => H / 2 + (x / e) * half;
      g.py = (y) => H / 2 - (y / e) * half;
      g.laneX = H + 12; g.laneW = W - g.laneX;
      const n = row.dims, gap = 4, lh = (H - gap * (n - 1)) / n;
      g.lanes = Array.from({ length: n }, (_, a) => ({ axis: a, top: a * (lh + gap), h: lh }));
    }
    const le = view.kind === "lane" ? view.extent : view.laneExtent;
    g.lx = (pip) => g.laneX + (pip / row.period) * g.laneW;
    g.ly = (lane, v) => lane.top + lane.h / 2 - (v / le) * (lane.h / 2 - 3);
    g.laneExtent = le;
    return g;
  }

  function makeCanvas(W, H) {
    const canvas = document.createElement("canvas");
    const ratio = Math.min(2, window.devicePixelRatio || 1);
    canvas.width = Math.round(W * ratio);
    canvas.height = Math.round(H * ratio);
    canvas.style.width = `${W}px`;
    canvas.style.height = `${H}px`;
    const ctx = canvas.getContext("2d");
    ctx.setTransform(ratio, 0, 0, ratio, 0, 0);
    return [canvas, ctx];
  }

  const signed = (v) => (v > 0 ? "+" : v < 0 ? "\u2212" : "") + Math.abs(v).toFixed(2).replace(/0$/, "");
  const AXES = "xyz";

  function drawStatic(row, ctx, g) {
    const s = samplesOf(row), n = row.period, view = g.view, colour = collectionColour(row.collection);
    ctx.lineJoin = "round";
    ctx.lineCap = "round";
    if (g.plane) {
      const P = g.plane, { px, py } = g, e = view.extent, h = view.h, v = view.v;
      ctx.fillStyle = FIELD;
      ctx.beginPath(); ctx.roundRect(0.5, 0.5, P - 1, P - 1, 6); ctx.fill();
      ctx.strokeStyle = GRID; ctx.lineWidth = 1; ctx.stroke();
      ctx.beginPath();
      ctx.moveTo(px(0), py(-e)); ctx.lineTo(px(0), py(e));
      ctx.moveTo(px(-e), py(0)); ctx.lineTo(px(e), py(0));
      ctx.strokeStyle = "#1e2431"; ctx.stroke();
      if (view.kind === "xy" && row.dims === 3) {
        // Depth as colour and width; far segments first, so near ones pass in front.
        const order = Array.from({ length: n }, (_, i) => i);
        const zMid = (i) => (s[i * 3 + 2] + s[((i + 1) % n) * 3 + 2]) / 2;
        order.sort((a, b) => zMid(a) - zMid(b));
        for (const i of order) {
          const j = (i + 1) % n, z = zMid(i);
          ctx.beginPath();
          ctx.moveTo(px(s[i * 3]), py(s[i * 3 + 1]));
          ctx.lineTo(px(s[j * 3]), py(s[j * 3 + 1]));
          ctx.strokeStyle = zColour(row, z);
          ctx.lineWidth = 1.2 + 1.2 * (z + 1) / 2;
          ctx.stroke();
        }
      } else {
        ctx.beginPath();
        for (let i = 0; i <= n; i++) {
          const k = (i % n) * 3;
          if (i === 0) ctx.moveTo(px(s[k + h]), py(s[k + v])); else ctx.lineTo(px(s[k + h]), py(s[k + v]));
        }
        ctx.strokeStyle = colour; ctx.globalAlpha = 0.85; ctx.lineWidth = 1.6; ctx.stroke(); ctx.globalAlpha = 1;
      }
      // Pip 0.
      ctx.beginPath();
      ctx.arc(px(s[h]), py(s[v]), 4.2, 0, 2 * Math.PI);
      ctx.strokeStyle = "#ffffff"; ctx.lineWidth = 1.5; ctx.stroke();
      ctx.font = "600 11px system-ui, sans-serif";
      ctx.fillStyle = LABEL;
      ctx.textAlign = "left";
      ctx.fillText(`${AXES[h]}\u2192 ${AXES[v]}\u2191`, 5, 13);
      ctx.textAlign = "right";
      if (e < 1) { ctx.fillStyle = "#ffd08a"; ctx.fillText(`\u00b1${e}`, P - 5, 13); }
      if (view.kind === "xy" && row.dims === 3) {
        const [lo, hi] = depthMode.own ? [view.zLo, view.zHi] : [-1, 1];
        const x0 = P * 0.3, x1 = P * 0.7, gr = ctx.createLinearGradient(x0, 0, x1, 0);
        gr.addColorStop(0, depthColour(-1)); gr.addColorStop(0.5, depthColour(0)); gr.addColorStop(1, depthColour(1));
        ctx.fillStyle = gr;
        ctx.fillRect(x0, P - 9, x1 - x0, 4);
        ctx.fillStyle = LABEL;
        ctx.textAlign = "right"; ctx.fillText(`z ${signed(lo)}`, x0 - 4, P - 4);
        ctx.textAlign = "left"; ctx.fillText(signed(hi), x1 + 4, P - 4);
      }
    }
    // Axis lanes over one period, with beat lines and bar lines every four beats.
    for (const lane of g.lanes) {
      const a = lane.axis, top = lane.top;
      ctx.fillStyle = FIELD;
      ctx.beginPath(); ctx.roundRect(g.laneX, top, g.laneW, lane.h, 4); ctx.fill();
      for (let beat = 1; beat * PPB < row.period; beat++) {
        const x = Math.round(g.lx(beat * PPB)) + 0.5;
        ctx.beginPath(); ctx.moveTo(x, top + 2); ctx.lineTo(x, top + lane.h - 2);
        ctx.strokeStyle = beat % 4 === 0 ? "#3d475b" : "#222a38"; ctx.lineWidth = 1; ctx.stroke();
      }
      ctx.beginPath();
      ctx.moveTo(g.laneX + 3, g.ly(lane, 0)); ctx.lineTo(g.laneX + g.laneW - 3, g.ly(lane, 0));
      ctx.strokeStyle = "#2a3242"; ctx.stroke();
      ctx.beginPath();
      for (let i = 0; i <= n; i++) {
        const val = s[(i % n) * 3 + a];
        if (i === 0) ctx.moveTo(g.lx(i), g.ly(lane, val)); else ctx.lineTo(g.lx(i), g.ly(lane, val));
      }
      ctx.strokeStyle = AXIS_COLOURS[a]; ctx.lineWidth = 1.4; ctx.stroke();
      ctx.fillStyle = AXIS_COLOURS[a];
      ctx.font = "600 11px ui-monospace, monospace";
      ctx.textAlign = "left";
      ctx.fillText(AXES[a], g.laneX + 4, top + 12);
      if (g.laneExtent < 1) {
        ctx.fillStyle = "#ffd08a"; ctx.textAlign = "right";
        ctx.fillText(`\u00b1${g.laneExtent}`, g.laneX + g.laneW - 4, top + 12);
      }
    }
    if (g.view.kind === "lane") {
      ctx.fillStyle = LABEL; ctx.font = "11px system-ui, sans-serif"; ctx.textAlign = "left";
      ctx.fillText("one axis", 0, g.H - 4);
    }
  }

  const scratch = [0, 0, 0], trailAt = [0, 0, 0], trailPrev = [0, 0, 0];
  function drawMoving(row, fig, pip) {
    const ctx = fig.ctx, g = fig.g, view = g.view, colour = collectionColour(row.collection);
    const p = wrap(row, pip);
    ctx.clearRect(0, 0, g.W, g.H);
    const o = offsetAt(row, p, scratch);
    if (g.plane) {
      const { px, py } = g, h = view.h, v = view.v;
      // A one-beat trail of whole-pip samples behind the point, fading out.
      const trail = Math.min(PPB, Math.floor(row.period / 2)), steps = 16;
      ctx.lineCap = "round";
      offsetAt(row, p - trail, trailPrev);
      for (let k = 1; k <= steps; k++) {
        offsetAt(row, p - Math.round(trail * (1 - k / steps)), trailAt);
        ctx.beginPath();
        ctx.moveTo(px(trailPrev[h]), py(trailPrev[v]));
        ctx.lineTo(px(trailAt[h]), py(trailAt[v]));
        ctx.strokeStyle = colour;
        ctx.globalAlpha = (k / steps) * 0.9;
        ctx.lineWidth = 1 + 3 * (k / steps);
        ctx.stroke();
        trailPrev[0] = trailAt[0]; trailPrev[1] = trailAt[1]; trailPrev[2] = trailAt[2];
      }
      const radius = view.kind === "xy" && row.dims === 3 ? 4 + 2 * (o[2] + 1) / 2 : 5;
      const x = px(o[h]), y = py(o[v]);
      ctx.globalAlpha = 0.3;
      ctx.beginPath(); ctx.arc(x, y, radius + 5, 0, 2 * Math.PI); ctx.fillStyle = colour; ctx.fill();
      ctx.globalAlpha = 1;
      ctx.beginPath(); ctx.arc(x, y, radius, 0, 2 * Math.PI);
      ctx.fillStyle = view.kind === "xy" && row.dims === 3 ? zColour(row, o[2]) : colour; ctx.fill();
      ctx.strokeStyle = "#ffffff"; ctx.lineWidth = 1.2; ctx.stroke();
    }
    // Playhead across the lanes and the current value on each.
    const x = g.lx(p);
    ctx.beginPath(); ctx.moveTo(x, 0); ctx.lineTo(x, g.H);
    ctx.strokeStyle = "rgba(255,255,255,0.6)"; ctx.lineWidth = 1; ctx.stroke();
    for (const lane of g.lanes) {
      ctx.beginPath(); ctx.arc(x, g.ly(lane, o[lane.axis]), 3.5, 0, 2 * Math.PI);
      ctx.fillStyle = AXIS_COLOURS[lane.axis]; ctx.fill();
    }
    row.lastDrawn = { pip: p, x: o[0], y: o[1], z: o[2] };
  }

  // A figure in a box: a still canvas below and a moving one on top.
  function makeFigure(row, box, height) {
    const W = Math.max(200, Math.floor(box.clientWidth || 318)), H = height;
    const g = layout(row, W, H);
    const [base, baseCtx] = makeCanvas(W, H), [over, ctx] = makeCanvas(W, H);
    box.replaceChildren(base, over);
    drawStatic(row, baseCtx, g);
    return { base, over, ctx, g, box };
  }
  function dropFigure(fig) {
    for (const c of [fig.base, fig.over]) { c.width = 0; c.height = 0; c.remove(); }
  }

  // Transport: one clock for the whole page, so every card moves in step.
  const clock = { playing: true, bpm: 120, anchorPip: 0, anchorTime: performance.now() };
  const pipNow = (now = performance.now()) =>
    clock.playing ? clock.anchorPip + ((now - clock.anchorTime) / 60000) * clock.bpm * PPB : clock.anchorPip;
  function reanchor(pip = pipNow()) {
    clock.anchorPip = pip;
    clock.anchorTime = performance.now();
  }
  const figures = () => {
    const out = [];
    for (const row of visible) out.push([row, row.fig]);
    for (const pin of pins) out.push([pin.row, pin.fig]);
    if (detail.row && detail.fig) out.push([detail.row, detail.fig]);
    return out;
  };
  function drawAll(pip) {
    for (const [row, fig] of figures()) drawMoving(row, fig, pip);
    showDetailReadout(pip);
  }
  function setPlaying(playing) {
    reanchor();
    clock.playing = playing;
    // Stopped, every card shows the very pip the clock stopped at.
    if (!playing) drawAll(clock.anchorPip);
    const button = document.getElementById("play");
    button.textContent = playing ? "Stop" : "Play";
    button.setAttribute("aria-pressed", String(playing));
  }
  function seek(pip) {
    reanchor(pip);
    drawAll(pip);
  }

  // The tempo box always shows the tempo in force once an entry is done;
  // while typing, a value out of range is marked and not taken.
  const tempo = document.getElementById("tempo"), tempoNote = document.getElementById("tempo-note");
  function setTempo(bpm) {
    reanchor();
    clock.bpm = Math.round(Math.max(TEMPO_MIN, Math.min(TEMPO_MAX, bpm)) * 10) / 10;
    tempo.value = String(clock.bpm);
  }
  function tempoTyped(done) {
    const bpm = Number(tempo.value), ok = tempo.value.trim() !== "" && Number.isFinite(bpm);
    const inRange = ok && bpm >= TEMPO_MIN && bpm <= TEMPO_MAX;
    if (inRange) { reanchor(); clock.bpm = bpm; }
    if (done && ok && !inRange) {
      // A finished entry out of range is clamped, and the box says so.
      setTempo(bpm);
      tempoNote.textContent = `tempo ${bpm > TEMPO_MAX ? "capped at" : "raised to"} ${clock.bpm}`;
      tempo.removeAttribute("aria-invalid");
    } else if (inRange) {
      tempo.removeAttribute("aria-invalid"); tempoNote.textContent = "";
    } else {
      tempo.setAttribute("aria-invalid", "true");
      tempoNote.textContent = `${TEMPO_MIN}\u2013${TEMPO_MAX} BPM; still ${clock.bpm}`;
    }
  }
  tempo.addEventListener("input", () => tempoTyped(false));
  tempo.addEventListener("change", () => tempoTyped(true));

  const taps = [];
  document.getElementById("tap").addEventListener("click", () => {
    const now = performance.now();
    if (taps.length && now - taps[taps.length - 1] > 2000) taps.length = 0;
    taps.push(now);
    if (taps.length > 8) taps.shift();
    if (taps.length >= 2) {
      const beatMs = (taps[taps.length - 1] - taps[0]) / (taps.length - 1);
      setTempo(60000 / beatMs);
      tempoNote.textContent = "";
    }
  });
  for (const id of ["reset", "detail-reset"]) document.getElementById(id).addEventListener("click", () => seek(0));

  // Beat click: a short tone on each beat, higher on the bar; made only once asked for.
  const audio = { on: false, ctx: null, lastBeat: null };
  document.getElementById("click").addEventListener("change", (e) => {
    audio.on = e.target.checked;
    if (audio.on && !audio.ctx && window.AudioContext) audio.ctx = new AudioContext();
    if (audio.ctx && audio.ctx.state === "suspended") audio.ctx.resume();
  });
  function click(accent) {
    const a = audio.ctx, t = a.currentTime, osc = a.createOscillator(), gain = a.createGain();
    osc.frequency.value = accent ? 1760 : 1175;
    gain.gain.setValueAtTime(0.25, t);
    gain.gain.exponentialRampToValueAtTime(0.001, t + 0.05);
    osc.connect(gain).connect(a.destination);
    osc.start(t); osc.stop(t + 0.06);
  }

  // Cards: built at once as light DOM; their figures are drawn only when
  // they come near the viewport and released when they leave it.
  const visible = new Set();
  const container = document.getElementById("cards");
  const fragment = document.createDocumentFragment();
  const beatsText = (period) => {
    const beats = period / PPB;
    return `${Number.isInteger(beats) ? beats : beats.toFixed(2).replace(/0+$/, "")} beat${beats === 1 ? "" : "s"}`;
  };
  // Names may break only after an underscore.
  function nameInto(el, name) {
    name.split("_").forEach((part, i, all) => {
      el.append(part + (i < all.length - 1 ? "_" : ""));
      if (i < all.length - 1) el.appendChild(document.createElement("wbr"));
    });
    return el;
  }
  const metaText = (row) => `${row.period} pips \u00b7 ${beatsText(row.period)} \u00b7 ${row.dims} ${row.dims === 1 ? "axis" : "axes"}`;
  for (const row of rows) {
    const card = document.createElement("article");
    card.className = "card";
    card.id = `p-${row.name}`;
    card.dataset.name = row.name;
    const head = card.appendChild(document.createElement("div"));
    head.className = "card-head";
    const open = nameInto(head.appendChild(document.createElement("h2")).appendChild(document.createElement("button")), row.name);
    open.type = "button";
    open.className = "open";
    const chips = head.appendChild(document.createElement("span"));
    chips.className = "chips";
    const chip = chips.appendChild(document.createElement("span"));
    chip.className = "chip";
    chip.textContent = row.collection;
    chip.style.setProperty("--c", collectionColour(row.collection));
    const pin = chips.appendChild(document.createElement("button"));
    pin.type = "button";
    pin.className = "pin-button";
    pin.textContent = "pin";
    pin.setAttribute("aria-pressed", "false");
    card.appendChild(document.createElement("p")).className = "meta";
    card.lastChild.textContent = metaText(row);
    const fig = card.appendChild(document.createElement("div"));
    fig.className = "fig";
    card.appendChild(document.createElement("p")).className = "desc";
    card.lastChild.textContent = row.description;
    row.card = card;
    row.figBox = fig;
    row.pinButton = pin;
    fragment.appendChild(card);
  }
  container.appendChild(fragment);
  const cardRow = new Map(rows.map((row) => [row.card, row]));
  container.addEventListener("click", (e) => {
    const card = e.target.closest(".card");
    if (!card) return;
    const row = cardRow.get(card);
    if (e.target.closest(".pin-button")) togglePin(row);
    else if (e.target.closest(".open, .fig")) openDetail(row);
  });

  const timing = { firstScreenMs: null, pendingFirst: false, frames: [] };
  function activate(row) {
    if (!row.fig) row.fig = makeFigure(row, row.figBox, 150);
    drawMoving(row, row.fig, pipNow());
    visible.add(row);
  }
  function release(row) {
    visible.delete(row);
    if (row.fig) { dropFigure(row.fig); row.fig = null; }
  }
  function redrawAll() {
    for (const row of [...visible]) { release(row); activate(row); }
    for (const pin of pins) { dropFigure(pin.fig); pin.fig = makeFigure(pin.row, pin.box, 170); }
    if (detail.row) detail.fig = makeFigure(detail.row, detailFig, 380);
    drawAll(pipNow());
  }
  const observer = new IntersectionObserver((entries) => {
    let drew = false;
    for (const entry of entries) {
      const row = cardRow.get(entry.target);
      if (entry.isIntersecting) { activate(row); drew = true; } else release(row);
    }
    if (drew && timing.firstScreenMs === null) timing.pendingFirst = true;
  }, { rootMargin: "200px 0px" });
  for (const row of rows) observer.observe(row.card);
  let resizeTimer = 0, lastWidth = window.innerWidth;
  window.addEventListener("resize", () => {
    if (window.innerWidth === lastWidth) return;
    lastWidth = window.innerWidth;
    clearTimeout(resizeTimer);
    resizeTimer = setTimeout(redrawAll, 150);
  });

  // Pins: up to four patterns side by side above the cards, on the same clock.
  const MAX_PINS = 4, pins = [], pinBox = document.getElementById("pins");
  function togglePin(row, quiet) {
    const at = pins.findIndex((p) => p.row === row);
    if (at >= 0) {
      dropFigure(pins[at].fig);
      pins[at].el.remove();
      pins.splice(at, 1);
    } else {
      if (pins.length >= MAX_PINS) togglePin(pins[0].row, true);
      const el = pinBox.appendChild(document.createElement("div"));
      el.className = "pin";
      el.dataset.name = row.name;
      const head = el.appendChild(document.createElement("div"));
      head.className = "pin-head";
      nameInto(head.appendChild(document.createElement("h3")), row.name);
      const off = head.appendChild(document.createElement("button"));
      off.type = "button"; off.textContent = "unpin"; off.className = "pin-button";
      off.addEventListener("click", () => togglePin(row));
      const box = el.appendChild(document.createElement("div"));
      box.className = "fig";
      box.addEventListener("click", () => openDetail(row));
      pinBox.hidden = false;
      const pin = { row, el, box, fig: null };
      pins.push(pin);
      // Widths change for every pin as one is added.
      for (const p of pins) { if (p.fig) dropFigure(p.fig); p.fig = makeFigure(p.row, p.box, 170); }
    }
    pinBox.hidden = pins.length === 0;
    for (const r of rows) if (r.pinButton.getAttribute("aria-pressed") === "true") r.pinButton.setAttribute("aria-pressed", "false");
    for (const p of pins) p.row.pinButton.setAttribute("aria-pressed", "true");
    detailPin.textContent = detail.row && pins.some((p) => p.row === detail.row) ? "Unpin" : "Pin";
    drawAll(pipNow());
    if (!quiet) writeHash();
  }

  // Detail view: a large figure, a scrub bar over one period, and the text to take.
  const detailEl = document.getElementById("detail"), detailFig = document.getElementById("detail-fig");
  const scrub = document.getElementById("scrub"), scrubRead = document.getElementById("scrub-read");
  const detailPin = document.getElementById("detail-pin");
  const detail = { row: null, fig: null };
  const sampleLine = (row, pip) => `kinetrope.sample("${row.name}", ${pip})`;
  function openDetail(row, quiet) {
    detail.row = row;
    detailEl.hidden = false;
    document.getElementById("detail-name").replaceChildren();
    nameInto(document.getElementById("detail-name"), row.name);
    document.getElementById("detail-meta").textContent =
      `${row.collection} \u00b7 ${row.family}${row.groove ? ` \u00b7 groove ${row.groove} \u00b7 motion ${row.motion}` : ""} \u00b7 ${metaText(row)}`;
    document.getElementById("detail-desc").textContent = row.description;
    document.getElementById("copy-name-text").textContent = row.name;
    scrub.max = String(row.period - 1);
    if (detail.fig) dropFigure(detail.fig);
    detail.fig = makeFigure(row, detailFig, 380);
    detailPin.textContent = pins.some((p) => p.row === row) ? "Unpin" : "Pin";
    drawMoving(row, detail.fig, pipNow());
    showDetailReadout(pipNow());
    if (!quiet) writeHash();
  }
  function closeDetail() {
    if (detail.fig) dropFigure(detail.fig);
    detail.row = null; detail.fig = null;
    detailEl.hidden = true;
    writeHash();
  }
  function showDetailReadout(pip) {
    const row = detail.row;
    if (!row) return;
    const p = wrap(row, pip), o = offsetAt(row, p, [0, 0, 0]);
    if (document.activeElement !== scrub) scrub.value = String(p);
    const axes = [0, 1, 2].slice(0, row.dims).map((a) => `${AXES[a]} ${o[a] >= 0 ? "+" : "\u2212"}${Math.abs(o[a]).toFixed(3)}`);
    scrubRead.textContent = `pip ${p} \u00b7 beat ${Math.floor(p / PPB) + 1} + ${p % PPB}/${PPB} \u00b7 ${axes.join(" ")}`;
    document.getElementById("copy-sample-text").textContent = sampleLine(row, p);
  }
  scrub.addEventListener("input", () => {
    const pip = Number(scrub.value);
    if (clock.playing) setPlaying(false);
    seek(pip);
  });
  document.getElementById("detail-close").addEventListener("click", closeDetail);
  detailEl.addEventListener("click", (e) => { if (e.target === detailEl) closeDetail(); });
  detailPin.addEventListener("click", () => detail.row && togglePin(detail.row));

  const copied = document.getElementById("copied");
  function copy(text) {
    window.kinetropeGallery.copied = text;
    const fallback = () => {
      const area = document.body.appendChild(document.createElement("textarea"));
      area.value = text; area.select();
      try { document.execCommand("copy"); } catch (_) { /* nothing more to try */ }
      area.remove();
    };
    if (navigator.clipboard && window.isSecureContext) navigator.clipboard.writeText(text).catch(fallback);
    else fallback();
    copied.textContent = `copied ${text}`;
  }
  document.getElementById("copy-name").addEventListener("click", () => copy(detail.row.name));
  document.getElementById("copy-sample").addEventListener("click", () => copy(sampleLine(detail.row, wrap(detail.row, pipNow()))));

  const led = document.getElementById("beat-led"), position = document.getElementById("position");
  function frame(now) {
    const start = performance.now(), pip = pipNow(now);
    if (clock.playing) {
      for (const row of visible) drawMoving(row, row.fig, pip);
      for (const pin of pins) drawMoving(pin.row, pin.fig, pip);
      if (detail.row) { drawMoving(detail.row, detail.fig, pip); showDetailReadout(pip); }
    }
    const beat = Math.floor(pip / PPB);
    position.textContent = `bar ${Math.floor(beat / 4) + 1} \u00b7 beat ${(((beat % 4) + 4) % 4) + 1}`;
    led.style.opacity = clock.playing ? String(0.2 + 0.8 * Math.max(0, 1 - (pip / PPB - beat) * 3)) : "0.2";
    if (audio.on && audio.ctx && clock.playing && audio.lastBeat !== null && beat !== audio.lastBeat) click(beat % 4 === 0);
    audio.lastBeat = beat;
    if (clock.playing) {
      timing.frames.push(performance.now() - start);
      if (timing.frames.length > 600) timing.frames.splice(0, 300);
    }
    if (timing.pendingFirst) {
      // The first screen's figures are on their canvases; this frame paints them.
      timing.pendingFirst = false;
      timing.firstScreenMs = performance.now();
      performance.mark("gallery-first-screen");
    }
    requestAnimationFrame(frame);
  }
  requestAnimationFrame(frame);

  // Finding: words over names, descriptions, collections and family words;
  // selects for every field a row has.
  const text = document.getElementById("filter-text");
  const selects = {
    c: [document.getElementById("filter-collection"), (r) => r.collection],
    f: [document.getElementById("filter-family"), (r) => r.family],
    g: [document.getElementById("filter-groove"), (r) => r.groove],
    m: [document.getElementById("filter-motion"), (r) => r.motion],
    p: [document.getElementById("filter-period"), (r) => String(r.period)],
    d: [document.getElementById("filter-dims"), (r) => String(r.dims)],
  };
  const count = document.getElementById("count");
  function fillSelect(select, key, label) {
    const counts = new Map();
    for (const r of rows) { const v = key(r); if (v) counts.set(v, (counts.get(v) || 0) + 1); }
    let values = [...counts.keys()];
    if (select.id === "filter-period") values.sort((a, b) => a - b);
    for (const v of values) {
      const option = select.appendChild(document.createElement("option"));
      option.value = v;
      option.textContent = `${label(v)} (${counts.get(v)})`;
    }
    return values;
  }
  fillSelect(selects.c[0], selects.c[1], (v) => v);
  fillSelect(selects.f[0], selects.f[1], (v) => v);
  const grooves = fillSelect(selects.g[0], selects.g[1], (v) => v);
  const motions = fillSelect(selects.m[0], selects.m[1], (v) => v);
  fillSelect(selects.p[0], selects.p[1], (v) => `${v} pips`);

  const empty = document.createElement("p");
  empty.className = "empty";
  empty.textContent = "No pattern matches these filters.";
  function applyFilters(quiet) {
    const words = text.value.toLowerCase().split(/\s+/).filter(Boolean);
    const wanted = Object.values(selects).map(([select, key]) => [select.value, key]).filter(([v]) => v);
    let shown = 0;
    for (const row of rows) {
      const match = wanted.every(([v, key]) => key(row) === v) && words.every((w) => row.haystack.includes(w));
      if (row.card.hidden === match) row.card.hidden = !match;
      if (match) shown++;
    }
    count.innerHTML = `<b>${shown}</b> of ${rows.length} patterns`;
    if (shown === 0) container.appendChild(empty); else empty.remove();
    markGrid();
    if (!quiet) writeHash();
  }
  text.addEventListener("input", () => applyFilters());
  for (const [select] of Object.values(selects)) select.addEventListener("change", () => applyFilters());
  document.getElementById("clear").addEventListener("click", () => {
    text.value = "";
    for (const [select] of Object.values(selects)) select.value = "";
    applyFilters();
  });
  document.getElementById("depth-own").addEventListener("change", (e) => {
    depthMode.own = e.target.checked;
    redrawAll();
  });

  // The beat rows as a table, grooves down and motions across; a heading
  // filters by it, a cell opens its pattern.
  const gridBody = document.getElementById("beat-grid-body"), gridCells = [];
  if (grooves.length) {
    const table = gridBody.appendChild(document.createElement("table"));
    table.className = "beat-grid";
    const headRow = table.appendChild(document.createElement("thead")).appendChild(document.createElement("tr"));
    headRow.appendChild(document.createElement("th"));
    const pick = (key, value) => {
      const select = selects[key][0];
      select.value = select.value === value ? "" : value;
      applyFilters();
    };
    for (const m of motions) {
      const th = headRow.appendChild(document.createElement("th"));
      th.textContent = m;
      th.addEventListener("click", () => pick("m", m));
    }
    const body = table.appendChild(document.createElement("tbody"));
    for (const gr of grooves) {
      const tr = body.appendChild(document.createElement("tr"));
      const th = tr.appendChild(document.createElement("th"));
      th.textContent = gr;
      th.addEventListener("click", () => pick("g", gr));
      for (const m of motions) {
        const td = tr.appendChild(document.createElement("td")), row = beatCell.get(`${gr} ${m}`);
        if (!row) continue;
        const b = td.appendChild(document.createElement("button"));
        b.type = "button"; b.title = row.name; b.setAttribute("aria-label", row.name);
        b.style.background = collectionColour(row.collection);
        b.addEventListener("click", () => openDetail(row));
        gridCells.push([b, row]);
      }
    }
  }
  function markGrid() {
    for (const [b, row] of gridCells) b.classList.toggle("on", !row.card.hidden && (selects.g[0].value || selects.m[0].value) !== "");
  }

  // Permalink: the hash holds the filters, the pins and the open pattern.
  function writeHash() {
    const params = new URLSearchParams();
    if (text.value) params.set("q", text.value);
    for (const [key, [select]] of Object.entries(selects)) if (select.value) params.set(key, select.value);
    if (pins.length) params.set("pin", pins.map((p) => p.row.name).join(","));
    if (detail.row) params.set("open", detail.row.name);
    const hash = params.toString();
    if (hash !== location.hash.slice(1)) history.replaceState(null, "", hash ? `#${hash}` : location.pathname + location.search);
  }
  function readHash() {
    const params = new URLSearchParams(location.hash.slice(1));
    text.value = params.get("q") || "";
    for (const [key, [select]] of Object.entries(selects)) {
      const v = params.get(key) || "";
      select.value = [...select.options].some((o) => o.value === v) ? v : "";
    }
    applyFilters(true);
    for (const pin of [...pins]) togglePin(pin.row, true);
    for (const name of (params.get("pin") || "").split(",")) if (byName.has(name)) togglePin(byName.get(name), true);
    const open = params.get("open");
    if (open && byName.has(open)) openDetail(byName.get(open), true); else if (detail.row) {
      if (detail.fig) dropFigure(detail.fig);
      detail.row = null; detail.fig = null; detailEl.hidden = true;
    }
  }
  window.addEventListener("hashchange", readHash);

  document.getElementById("play").addEventListener("click", () => setPlaying(!clock.playing));
  document.addEventListener("keydown", (e) => {
    if (e.key === "Escape" && detail.row) closeDetail();
    else if (e.code === "Space" && !["INPUT", "SELECT", "BUTTON"].includes(document.activeElement.tagName)) {
      e.preventDefault();
      setPlaying(!clock.playing);
    }
  });

  // What a test or a measurement reads from the page.
  window.kinetropeGallery = {
    rows: rows.length,
    copied: null,
    get firstScreenMs() { return timing.firstScreenMs; },
    frameMs: () => timing.frames.slice(),
    shown: () => rows.filter((r) => !r.card.hidden).map((r) => r.name),
    drawn: () => [...visible].map((r) => r.name),
    pinned: () => pins.map((p) => p.row.name),
    open: () => (detail.row ? detail.row.name : null),
    view: (name) => { const v = viewOf(byName.get(name)); return { kind: v.kind, h: v.h, v: v.v, extent: v.extent }; },
    samples: (name) => {
      const s = samplesOf(byName.get(name));
      return Array.from({ length: s.length / 3 }, (_, i) => [i, s[i * 3], s[i * 3 + 1], s[i * 3 + 2]]);
    },
    lastDrawn: (name) => byName.get(name).lastDrawn,
    pip: () => pipNow(),
    playing: () => clock.playing,
    bpm: () => clock.bpm,
  };

  readHash();
  if (window.matchMedia("(prefers-reduced-motion: reduce)").matches) setPlaying(false);
})();
