"use strict";
(() => {
  const DATA = JSON.parse(document.getElementById("gallery-data").textContent);
  const PPB = DATA.pipsPerBeat;
  const ALPHABET = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  const DIGIT = new Int8Array(128).fill(-1);
  for (let i = 0; i < ALPHABET.length; i++) DIGIT[ALPHABET.charCodeAt(i)] = i;
  const SCALE = 1e12;

  // Figure geometry, in CSS pixels: the path square on the left, the three
  // axis lanes on the right.
  const W = 304, H = 128, PLANE = 128, LANE_X = 138, LANE_W = W - LANE_X, LANE_GAP = 4;
  const LANE_H = (H - 2 * LANE_GAP) / 3;
  const AXIS_COLOURS = ["#ff6b6b", "#5ad47a", "#4dabf7"];
  const COLLECTION_COLOURS = {
    formula: "#ffb547", initial: "#38d9a9", expansion: "#b197fc", atlas: "#4dabf7",
    continuum: "#a9e34b", club: "#f783ac", dancefloor: "#ff922b",
  };
  const SPARE_COLOURS = ["#66d9e8", "#ffd43b", "#e599f7", "#8ce99a"];

  const collectionColour = (() => {
    const extra = {};
    return (name) => COLLECTION_COLOURS[name] || (extra[name] ??= SPARE_COLOURS[Object.keys(extra).length % SPARE_COLOURS.length]);
  })();

  // Depth colour scale over t in [-1, 1]: far cool blue, through pale grey, to near
  // warm orange.
  const DEPTH_STOPS = [[-1, [59, 91, 219]], [0, [206, 212, 222]], [1, [255, 146, 43]]];
  function depthColour(z) {
    const t = Math.max(-1, Math.min(1, z));
    const [a, b] = t < 0 ? [DEPTH_STOPS[0], DEPTH_STOPS[1]] : [DEPTH_STOPS[1], DEPTH_STOPS[2]];
    const f = (t - a[0]) / (b[0] - a[0]);
    const c = a[1].map((v, i) => Math.round(v + (b[1][i] - v) * f));
    return `rgb(${c[0]},${c[1]},${c[2]})`;
  }

  const rows = DATA.rows.map((r, index) => ({
    index, name: r[0], description: r[1], period: r[2], dims: r[3], collection: r[4], step: r[5], data: r[6],
    haystack: (r[0] + " " + r[1]).toLowerCase(), samples: null, card: null, fig: null, lastDrawn: null,
  }));
  const byName = new Map(rows.map((row) => [row.name, row]));

  // Stored samples as a flat Float64Array of (x, y, z) per stored pip; the
  // axes above the dimension count are zero.
  function samplesOf(row) {
    if (row.samples) return row.samples;
    const n = Math.ceil(row.period / row.step), dims = row.dims, out = new Float64Array(n * 3);
    if (typeof row.data === "string") {
      const text = row.data;
      for (let k = 0, pos = 0; k < n * dims; k++) {
        let v = 0;
        for (let d = 0; d < 7; d++) v = v * 64 + DIGIT[text.charCodeAt(pos++)];
        out[Math.floor(k / dims) * 3 + (k % dims)] = (v - SCALE) / SCALE;
      }
    } else {
      for (let k = 0; k < n * dims; k++) out[Math.floor(k / dims) * 3 + (k % dims)] = row.data[k];
    }
    row.data = null;
    return (row.samples = out);
  }

  // The offset at a fractional pip in [0, period), interpolated between the
  // stored pips on either side; the stored pip after the last is pip 0 again.
  function offsetAt(row, pip, into) {
    const s = samplesOf(row), n = s.length / 3;
    const i0 = Math.min(n - 1, Math.floor(pip / row.step));
    const p0 = i0 * row.step, p1 = i0 + 1 < n ? p0 + row.step : row.period;
    const i1 = (i0 + 1) % n, t = (pip - p0) / (p1 - p0);
    for (let a = 0; a < 3; a++) into[a] = s[i0 * 3 + a] + (s[i1 * 3 + a] - s[i0 * 3 + a]) * t;
    return into;
  }

  const px = (x) => PLANE / 2 + x * (PLANE / 2 - 9);
  const py = (y) => PLANE / 2 - y * (PLANE / 2 - 9);
  const laneTop = (a) => a * (LANE_H + LANE_GAP);
  const lanePx = (row, pip) => LANE_X + (pip / row.period) * LANE_W;
  const lanePy = (a, v) => laneTop(a) + LANE_H / 2 - v * (LANE_H / 2 - 3);

  function makeCanvas() {
    const canvas = document.createElement("canvas");
    const ratio = Math.min(2, window.devicePixelRatio || 1);
    canvas.width = Math.round(W * ratio);
    canvas.height = Math.round(H * ratio);
    const ctx = canvas.getContext("2d");
    ctx.setTransform(ratio, 0, 0, ratio, 0, 0);
    return [canvas, ctx];
  }

  function roundRect(ctx, x, y, w, h, r) {
    ctx.beginPath();
    ctx.roundRect(x, y, w, h, r);
  }

  // Depth colours span the row's own z extent, so that a shallow depth
  // still shows; the legend states the extent.
  function depthExtent(row) {
    if (row.zRange) return row.zRange;
    const s = samplesOf(row);
    let lo = Infinity, hi = -Infinity;
    for (let k = 2; k < s.length; k += 3) { lo = Math.min(lo, s[k]); hi = Math.max(hi, s[k]); }
    return (row.zRange = hi - lo > 1e-9 ? [lo, hi] : [-1, 1]);
  }
  function rowDepthColour(row, z) {
    const [lo, hi] = depthExtent(row);
    return depthColour((2 * (z - lo)) / (hi - lo) - 1);
  }

  function drawStatic(row, ctx) {
    const s = samplesOf(row), n = s.length / 3, colour = collectionColour(row.collection);
    // Path square: the [-1, 1] box, the centre cross and quarter lines.
    ctx.fillStyle = "#0f131a";
    roundRect(ctx, 0.5, 0.5, PLANE - 1, PLANE - 1, 6);
    ctx.fill();
    ctx.strokeStyle = "#222937";
    ctx.lineWidth = 1;
    ctx.stroke();
    ctx.beginPath();
    for (const v of [-0.5, 0.5]) {
      ctx.moveTo(px(v), py(-1)); ctx.lineTo(px(v), py(1));
      ctx.moveTo(px(-1), py(v)); ctx.lineTo(px(1), py(v));
    }
    ctx.strokeStyle = "#181e29";
    ctx.stroke();
    ctx.beginPath();
    ctx.moveTo(px(0), py(-1)); ctx.lineTo(px(0), py(1));
    ctx.moveTo(px(-1), py(0)); ctx.lineTo(px(1), py(0));
    ctx.strokeStyle = "#283041";
    ctx.stroke();

    ctx.lineJoin = "round";
    ctx.lineCap = "round";
    if (row.dims === 3) {
      // Depth as colour and width; the far segments first, so near ones
      // pass in front.
      const order = Array.from({ length: n }, (_, i) => i);
      const zMid = (i) => (s[i * 3 + 2] + s[((i + 1) % n) * 3 + 2]) / 2;
      order.sort((a, b) => zMid(a) - zMid(b));
      for (const i of order) {
        const j = (i + 1) % n, z = zMid(i);
        ctx.beginPath();
        ctx.moveTo(px(s[i * 3]), py(s[i * 3 + 1]));
        ctx.lineTo(px(s[j * 3]), py(s[j * 3 + 1]));
        const [lo, hi] = depthExtent(row);
        ctx.strokeStyle = rowDepthColour(row, z);
        ctx.lineWidth = 1.1 + (1.3 * (z - lo)) / (hi - lo);
        ctx.stroke();
      }
      // Depth legend along the bottom edge.
      const g = ctx.createLinearGradient(px(-0.3), 0, px(0.3), 0);
      g.addColorStop(0, depthColour(-1)); g.addColorStop(0.5, depthColour(0)); g.addColorStop(1, depthColour(1));
      ctx.fillStyle = g;
      ctx.fillRect(px(-0.3), PLANE - 6, px(0.3) - px(-0.3), 2.5);
      const [lo, hi] = depthExtent(row), label = (v) => (v > 0 ? "+" : v < 0 ? "\u2212" : "") + Math.abs(v).toFixed(2);
      ctx.fillStyle = "#6c7486";
      ctx.font = "9px system-ui, sans-serif";
      ctx.textAlign = "right"; ctx.fillText(`z ${label(lo)}`, px(-0.34), PLANE - 3.5);
      ctx.textAlign = "left"; ctx.fillText(label(hi), px(0.34), PLANE - 3.5);
    } else {
      ctx.beginPath();
      for (let i = 0; i <= n; i++) {
        const k = (i % n) * 3;
        if (i === 0) ctx.moveTo(px(s[k]), py(s[k + 1])); else ctx.lineTo(px(s[k]), py(s[k + 1]));
      }
      ctx.strokeStyle = colour;
      ctx.globalAlpha = 0.85;
      ctx.lineWidth = 1.6;
      ctx.stroke();
      ctx.globalAlpha = 1;
    }
    // Pip 0: a ring with its label.
    ctx.beginPath();
    ctx.arc(px(s[0]), py(s[1]), 4.2, 0, 2 * Math.PI);
    ctx.strokeStyle = "#ffffff";
    ctx.lineWidth = 1.5;
    ctx.stroke();
    ctx.fillStyle = "#ffffff";
    ctx.font = "600 9px system-ui, sans-serif";
    ctx.textAlign = "left";
    ctx.fillText("0", px(s[0]) + 6, py(s[1]) - 5);

    // Axis lanes over one period, with beat lines and bar lines every four beats.
    for (let a = 0; a < 3; a++) {
      const top = laneTop(a), active = a < row.dims;
      ctx.fillStyle = "#0f131a";
      roundRect(ctx, LANE_X, top, LANE_W, LANE_H, 4);
      ctx.fill();
      for (let beat = 1; beat * PPB < row.period; beat++) {
        const x = Math.round(lanePx(row, beat * PPB)) + 0.5;
        ctx.beginPath();
        ctx.moveTo(x, top + 2); ctx.lineTo(x, top + LANE_H - 2);
        ctx.strokeStyle = beat % 4 === 0 ? "#3a4356" : "#222a38";
        ctx.lineWidth = 1;
        ctx.stroke();
      }
      ctx.beginPath();
      ctx.moveTo(LANE_X + 3, lanePy(a, 0)); ctx.lineTo(LANE_X + LANE_W - 3, lanePy(a, 0));
      ctx.strokeStyle = "#262e3d";
      ctx.stroke();
      if (active) {
        ctx.beginPath();
        for (let i = 0; i <= n; i++) {
          const pip = i < n ? i * row.step : row.period, v = s[(i % n) * 3 + a];
          if (i === 0) ctx.moveTo(lanePx(row, pip), lanePy(a, v)); else ctx.lineTo(lanePx(row, pip), lanePy(a, v));
        }
        ctx.strokeStyle = AXIS_COLOURS[a];
        ctx.lineWidth = 1.4;
        ctx.stroke();
      }
      ctx.fillStyle = active ? AXIS_COLOURS[a] : "#4a5263";
      ctx.font = "600 10px ui-monospace, monospace";
      ctx.textAlign = "left";
      ctx.fillText("xyz"[a], LANE_X + 4, top + 11);
    }
  }

  const scratch = [0, 0, 0];
  function drawMoving(row, ctx, pip) {
    const colour = collectionColour(row.collection), p = ((pip % row.period) + row.period) % row.period;
    ctx.clearRect(0, 0, W, H);
    // A one-beat trail behind the point, fading out.
    const trail = Math.min(PPB, row.period / 2), steps = 24;
    ctx.lineCap = "round";
    let prev = offsetAt(row, (p - trail + row.period) % row.period, [0, 0, 0]);
    for (let k = 1; k <= steps; k++) {
      const cur = offsetAt(row, (p - trail * (1 - k / steps) + row.period) % row.period, [0, 0, 0]);
      ctx.beginPath();
      ctx.moveTo(px(prev[0]), py(prev[1]));
      ctx.lineTo(px(cur[0]), py(cur[1]));
      ctx.strokeStyle = colour;
      ctx.globalAlpha = (k / steps) * 0.9;
      ctx.lineWidth = 1 + 2.5 * (k / steps);
      ctx.stroke();
      prev = cur;
    }
    ctx.globalAlpha = 1;
    const o = offsetAt(row, p, scratch);
    const [zLo, zHi] = row.dims === 3 ? depthExtent(row) : [-1, 1];
    const radius = row.dims === 3 ? 3.5 + (2.5 * (o[2] - zLo)) / (zHi - zLo) : 5;
    ctx.save();
    ctx.shadowColor = colour;
    ctx.shadowBlur = 12;
    ctx.beginPath();
    ctx.arc(px(o[0]), py(o[1]), radius, 0, 2 * Math.PI);
    ctx.fillStyle = row.dims === 3 ? rowDepthColour(row, o[2]) : colour;
    ctx.fill();
    ctx.restore();
    ctx.beginPath();
    ctx.arc(px(o[0]), py(o[1]), radius, 0, 2 * Math.PI);
    ctx.strokeStyle = "#ffffff";
    ctx.lineWidth = 1.2;
    ctx.stroke();

    // Playhead across the lanes and the current value on each active one.
    const x = lanePx(row, p);
    ctx.beginPath();
    ctx.moveTo(x, 0); ctx.lineTo(x, H);
    ctx.strokeStyle = "rgba(255,255,255,0.55)";
    ctx.lineWidth = 1;
    ctx.stroke();
    for (let a = 0; a < row.dims; a++) {
      ctx.beginPath();
      ctx.arc(x, lanePy(a, o[a]), 3, 0, 2 * Math.PI);
      ctx.fillStyle = AXIS_COLOURS[a];
      ctx.fill();
    }
    row.lastDrawn = { pip: p, x: o[0], y: o[1], z: o[2] };
  }

  // Transport: one clock for the whole page, so every card moves in step.
  const clock = { playing: true, bpm: 120, anchorPip: 0, anchorTime: performance.now() };
  const pipNow = (now = performance.now()) =>
    clock.playing ? clock.anchorPip + ((now - clock.anchorTime) / 60000) * clock.bpm * PPB : clock.anchorPip;
  function setPlaying(playing) {
    const now = performance.now();
    clock.anchorPip = pipNow(now);
    clock.anchorTime = now;
    clock.playing = playing;
    // Stopped, every card shows the very pip the clock stopped at.
    if (!playing) for (const row of visible) drawMoving(row, row.fig.ctx, clock.anchorPip);
    const button = document.getElementById("play");
    button.textContent = playing ? "Stop" : "Play";
    button.setAttribute("aria-pressed", String(playing));
  }
  function setTempo(bpm) {
    if (!(bpm >= 20 && bpm <= 300)) return;
    const now = performance.now();
    clock.anchorPip = pipNow(now);
    clock.anchorTime = now;
    clock.bpm = bpm;
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
  for (const row of rows) {
    const card = document.createElement("article");
    card.className = "card";
    card.dataset.name = row.name;
    const head = card.appendChild(document.createElement("div"));
    head.className = "card-head";
    head.appendChild(document.createElement("h2")).textContent = row.name;
    const chip = head.appendChild(document.createElement("span"));
    chip.className = "chip";
    chip.textContent = row.collection;
    chip.style.setProperty("--c", collectionColour(row.collection));
    const meta = card.appendChild(document.createElement("p"));
    meta.className = "meta";
    meta.textContent = `${row.period} pips · ${beatsText(row.period)} · ${row.dims} ${row.dims === 1 ? "axis" : "axes"}`;
    const fig = card.appendChild(document.createElement("div"));
    fig.className = "fig";
    card.appendChild(document.createElement("p")).className = "desc";
    card.lastChild.textContent = row.description;
    row.card = card;
    row.figBox = fig;
    fragment.appendChild(card);
  }
  container.appendChild(fragment);
  const cardRow = new Map(rows.map((row) => [row.card, row]));

  const timing = { firstScreenMs: null, pendingFirst: false };
  function activate(row) {
    if (!row.fig) {
      const [base, baseCtx] = makeCanvas();
      const [over, overCtx] = makeCanvas();
      row.figBox.append(base, over);
      drawStatic(row, baseCtx);
      row.fig = { base, over, ctx: overCtx };
    }
    drawMoving(row, row.fig.ctx, pipNow());
    visible.add(row);
  }
  function release(row) {
    visible.delete(row);
    if (row.fig) {
      for (const c of [row.fig.base, row.fig.over]) { c.width = 0; c.height = 0; c.remove(); }
      row.fig = null;
    }
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

  const led = document.getElementById("beat-led"), position = document.getElementById("position");
  function frame(now) {
    const pip = pipNow(now);
    if (clock.playing) for (const row of visible) drawMoving(row, row.fig.ctx, pip);
    const beat = Math.floor(pip / PPB);
    position.textContent = `bar ${Math.floor(beat / 4) + 1} · beat ${(beat % 4) + 1}`;
    led.style.opacity = clock.playing ? String(0.2 + 0.8 * Math.max(0, 1 - (pip / PPB - beat) * 3)) : "0.2";
    if (timing.pendingFirst) {
      // The first screen's figures are on their canvases; this frame paints them.
      timing.pendingFirst = false;
      timing.firstScreenMs = performance.now();
      performance.mark("gallery-first-screen");
    }
    requestAnimationFrame(frame);
  }
  requestAnimationFrame(frame);

  // Filters: every word of the text must appear in the name or description.
  const text = document.getElementById("filter-text");
  const collectionSelect = document.getElementById("filter-collection");
  const dimsSelect = document.getElementById("filter-dims");
  const count = document.getElementById("count");
  for (const name of [...new Set(rows.map((r) => r.collection))]) {
    const option = collectionSelect.appendChild(document.createElement("option"));
    option.value = name;
    option.textContent = `${name} (${rows.filter((r) => r.collection === name).length})`;
  }
  const empty = document.createElement("p");
  empty.className = "empty";
  empty.textContent = "No pattern matches these filters.";
  function applyFilters() {
    const words = text.value.toLowerCase().split(/\s+/).filter(Boolean);
    const collection = collectionSelect.value, dims = dimsSelect.value;
    let shown = 0;
    for (const row of rows) {
      const match = (!collection || row.collection === collection) && (!dims || String(row.dims) === dims) &&
        words.every((w) => row.haystack.includes(w));
      row.card.hidden = !match;
      if (match) shown++;
    }
    count.innerHTML = `<b>${shown}</b> of ${rows.length} patterns`;
    if (shown === 0) container.appendChild(empty); else empty.remove();
  }
  text.addEventListener("input", applyFilters);
  collectionSelect.addEventListener("change", applyFilters);
  dimsSelect.addEventListener("change", applyFilters);
  applyFilters();

  const tempo = document.getElementById("tempo");
  tempo.addEventListener("input", () => setTempo(Number(tempo.value)));
  document.getElementById("play").addEventListener("click", () => setPlaying(!clock.playing));
  document.addEventListener("keydown", (e) => {
    if (e.code === "Space" && !["INPUT", "SELECT", "BUTTON"].includes(document.activeElement.tagName)) {
      e.preventDefault();
      setPlaying(!clock.playing);
    }
  });
  if (window.matchMedia("(prefers-reduced-motion: reduce)").matches) setPlaying(false);

  // What a test or a measurement reads from the page.
  window.kinetropeGallery = {
    rows: rows.length,
    get firstScreenMs() { return timing.firstScreenMs; },
    shown: () => rows.filter((r) => !r.card.hidden).map((r) => r.name),
    drawn: () => [...visible].map((r) => r.name),
    samples: (name) => {
      const row = byName.get(name), s = samplesOf(row);
      return Array.from({ length: s.length / 3 }, (_, i) => [i * row.step, s[i * 3], s[i * 3 + 1], s[i * 3 + 2]]);
    },
    lastDrawn: (name) => byName.get(name).lastDrawn,
    pip: () => pipNow(),
    playing: () => clock.playing,
    bpm: () => clock.bpm,
  };
})();
