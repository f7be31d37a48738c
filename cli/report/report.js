// The page of "hvdv report": summary, recordings, pictures and tables of each
// file, and one timeline of every frame of every file, drawn on a canvas
// from the per-frame arrays (base64 of little-endian typed arrays).
(function () {
  "use strict";
  const started = performance.now();
  const summary = JSON.parse(document.getElementById("hvdv-summary").textContent);
  const data = JSON.parse(document.getElementById("hvdv-data").textContent);
  document.getElementById("no-script").hidden = true;

  // Per-frame flags, as hvdv report writes them.
  const NEW_RECORDING = 1, TC_BREAK = 2, DAMAGED = 4, UNREADABLE = 8, AUDIO_CHANGE = 16, DROP = 32;
  const NONE = 0xffffffff;
  const css = getComputedStyle(document.documentElement);
  const colour = (name) => css.getPropertyValue("--" + name).trim();
  const palette = {
    damaged: colour("damaged"), concealed: colour("concealed"), audio: colour("audio"),
    recording: colour("recording"), tcbreak: colour("tcbreak"), picture: colour("picture"),
    ink: colour("ink"), muted: colour("muted"), rule: colour("rule"), band: colour("band")
  };

  function bytes(b64) {
    const s = atob(b64);
    const out = new Uint8Array(s.length);
    for (let i = 0; i < s.length; ++i) out[i] = s.charCodeAt(i);
    return out;
  }
  const u16 = (b64) => { const b = bytes(b64); return new Uint16Array(b.buffer, 0, b.length >> 1); };
  const u32 = (b64) => { const b = bytes(b64); return new Uint32Array(b.buffer, 0, b.length >> 2); };

  function el(tag, attrs, ...children) {
    const e = document.createElement(tag);
    for (const k in attrs || {}) {
      if (k === "class") e.className = attrs[k];
      else if (k.startsWith("on")) e.addEventListener(k.slice(2), attrs[k]);
      else e.setAttribute(k, attrs[k]);
    }
    for (const c of children) if (c !== null && c !== undefined) e.append(c);
    return e;
  }
  const baseName = (path) => path.slice(Math.max(path.lastIndexOf("/"), path.lastIndexOf("\\")) + 1);
  // A file name that may break after "_", "-" and "." in a narrow column.
  function breakable(text) {
    const out = document.createDocumentFragment();
    for (const part of text.split(/(?<=[_.-])/)) out.append(part, document.createElement("wbr"));
    return out;
  }
  // "2024-07-08T19:55:58" as a date and a time that wrap only between them.
  const dateTime = (v) => v === null ? ["none"] : v.split("T").flatMap((p, k) => [k ? " " : "", el("span", { class: "nw" }, p)]);
  const num = (n) => Number(n).toLocaleString("en-US");
  const pad = (n) => String(n).padStart(2, "0");
  function duration(seconds) {
    const s = Math.floor(seconds), h = Math.floor(s / 3600), m = Math.floor(s / 60) % 60;
    return (h ? h + ":" + pad(m) : String(m)) + ":" + pad(s % 60) + "." + pad(Math.floor((seconds - s) * 100));
  }

  // One entry per file: its arrays, and where its frames start on the timeline.
  const files = [];
  let total = 0;
  data.files.forEach((d, k) => {
    const f = {
      k, d, facts: summary.files[k], start: total, frames: summary.files[k].frames,
      damaged: u16(d.damaged), concealed: u16(d.concealed), macroblocks: u16(d.macroblocks),
      audio: u16(d.audio), flags: bytes(d.flags), tc: u32(d.timecode), date: u32(d.date), time: u32(d.time),
      errors: new Map(d.errors), pictures: new Map(), recordings: summary.recordings.filter((r) => r.file === k)
    };
    d.pictures.forEach((p) => f.pictures.set(p.frame, p));
    files.push(f);
    total += f.frames;
  });

  function fileOf(g) {
    let lo = 0, hi = files.length - 1;
    while (lo < hi) {
      const mid = (lo + hi + 1) >> 1;
      if (files[mid].start <= g) lo = mid; else hi = mid - 1;
    }
    return files[lo];
  }
  function timecode(f, i) {
    const v = f.tc[i];
    if (v === NONE) return "";
    return pad(v >>> 24) + ":" + pad((v >>> 16) & 255) + ":" + pad((v >>> 8) & 255) +
      (f.flags[i] & DROP ? ";" : ":") + pad(v & 255);
  }
  function recorded(f, i) {
    const d = f.date[i], t = f.time[i];
    const ds = d === NONE ? "" : String(Math.floor(d / 10000)).padStart(4, "0") + "-" + pad(Math.floor(d / 100) % 100) + "-" + pad(d % 100);
    const ts = t === NONE ? "" : pad(Math.floor(t / 10000)) + ":" + pad(Math.floor(t / 100) % 100) + ":" + pad(t % 100);
    return ds && ts ? ds + " " + ts : ds + ts;
  }
  // Share of the picture damaged or concealed (1: the frame could not be read).
  function videoShare(f, i) {
    if (f.flags[i] & UNREADABLE) return 1;
    const mb = f.macroblocks[i];
    return mb ? Math.min(1, (f.damaged[i] + f.concealed[i]) / mb) : 0;
  }
  function audioShare(f, i) {
    const a = f.audio[i];
    return a ? Math.min(1, a / Math.max(1, f.d.audio_samples)) : 0;
  }
  function damageText(f, i) {
    if (f.flags[i] & UNREADABLE) return "frame not readable";
    const mb = f.macroblocks[i];
    if (!mb) return "no picture decoded";
    const d = f.damaged[i], c = f.concealed[i];
    if (!d && !c) return "no damaged macroblocks";
    const parts = [];
    if (d) parts.push(num(d) + " damaged");
    if (c) parts.push(num(c) + " concealed");
    return parts.join(", ") + " of " + num(mb) + " macroblocks (" + (100 * (d + c) / mb).toFixed(1) + " %)";
  }

  // ---- Summary ------------------------------------------------------------
  // One row a fact, one column a file.
  function factsTable(list) {
    const rows = [];
    const add = (label, value, bad) => rows.push(el("tr", null, el("th", { scope: "row" }, label),
      ...list.map((s) => el("td", bad && bad(s) ? { class: "bad" } : null, value(s)))));
    add("DV kind", (s) => s.kinds.length ? s.kinds.join(", ") : "not identified");
    add("Duration", (s) => s.duration_seconds ? duration(s.duration_seconds) : "unknown");
    add("Frames", (s) => num(s.frames));
    add("Damaged frames", (s) => num(s.damaged_frames) + (s.frames ? " (" + (100 * s.damaged_frames / s.frames).toFixed(1) + " %)" : ""), (s) => s.damaged_frames > 0);
    add("Damaged macroblocks", (s) => num(s.damaged_macroblocks), (s) => s.damaged_macroblocks > 0);
    add("Concealed macroblocks", (s) => num(s.concealed_macroblocks), (s) => s.concealed_macroblocks > 0);
    add("Audio error samples", (s) => num(s.audio_errors) + (s.audio_errors ? " in " + num(s.audio_error_frames) + (s.audio_error_frames === 1 ? " frame" : " frames") : ""), (s) => s.audio_errors > 0);
    add("Timecode breaks", (s) => num(s.timecode_breaks), (s) => s.timecode_breaks > 0);
    add("Recordings", (s) => num(s.recordings));
    add("Audio mode changes", (s) => num(s.audio_changes));
    add("Closed captions", (s) => s.caption_frames ? "in " + num(s.caption_frames) + " frames" : "none");
    if (list.some((s) => s.error)) add("Read error", (s) => s.error || "none", (s) => s.error);
    const head = list.length > 1 ? el("thead", null, el("tr", null, el("td"),
      ...list.map((s) => el("th", { scope: "col", title: s.file }, breakable(baseName(s.file)))))) : null;
    return el("table", { class: "facts" }, head, el("tbody", null, ...rows));
  }
  const overview = document.getElementById("summary");
  if (files.length > 1)
    overview.append(el("p", null, files.length + " files, " + num(summary.frames) + " frames, " + num(summary.damaged_frames) +
      " damaged, " + num(summary.recordings.length) + " recordings, " + num(summary.timecode_breaks) +
      " timecode breaks, " + num(summary.audio_errors) + " audio error samples."));
  overview.append(factsTable(files.map((f) => f.facts)));

  // ---- Timeline -----------------------------------------------------------
  const canvas = document.getElementById("timeline");
  const tooltip = document.getElementById("tooltip");
  const rangeText = document.getElementById("view-range");
  const MIN_SPAN = 8;
  const view = { start: 0, span: Math.max(1, total) };
  const LANES = { marks: [0, 18], video: [22, 112], audio: [118, 158], pictures: [162, 174], axis: [176, 200] };

  function clampView() {
    view.span = Math.min(Math.max(view.span, Math.min(MIN_SPAN, total)), Math.max(1, total));
    view.start = Math.min(Math.max(view.start, 0), Math.max(0, total - view.span));
  }
  // Frames are drawn right of a margin that holds the lane names.
  const MARGIN = 46;
  const width = () => Math.max(100, (canvas.clientWidth || 800) - MARGIN);
  const xOf = (g) => MARGIN + (g - view.start) * width() / view.span;
  const frameAt = (x) => Math.floor(view.start + (x - MARGIN) * view.span / width());

  function draw() {
    clampView();
    const w = canvas.clientWidth || 800, h = 200, dpr = window.devicePixelRatio || 1;
    if (canvas.width !== Math.round(w * dpr)) canvas.width = Math.round(w * dpr);
    canvas.height = Math.round(h * dpr);
    const ctx = canvas.getContext("2d");
    ctx.setTransform(dpr, 0, 0, dpr, 0, 0);
    ctx.clearRect(0, 0, w, h);
    ctx.fillStyle = palette.band;
    ctx.fillRect(MARGIN, LANES.video[0], w - MARGIN, LANES.video[1] - LANES.video[0]);
    ctx.fillRect(MARGIN, LANES.audio[0], w - MARGIN, LANES.audio[1] - LANES.audio[0]);

    const first = Math.max(0, Math.floor(view.start)), last = Math.min(total, Math.ceil(view.start + view.span));
    const perPixel = view.span / width();
    const counts = { recordings: 0, damaged: 0, tcbreaks: 0, pictures: 0 };
    const vh = LANES.video[1] - LANES.video[0], ah = LANES.audio[1] - LANES.audio[0];
    // Columns of the worst damage when frames share a pixel; one bar a frame otherwise.
    const cols = Math.ceil(w);
    const vd = new Float32Array(cols), vc = new Float32Array(cols), au = new Float32Array(cols), any = new Uint8Array(cols);
    const starts = [], breaks = [], pics = [];
    for (let g = first; g < last; ++g) {
      const f = fileOf(g), i = g - f.start, fl = f.flags[i];
      const x0 = xOf(g), c = Math.min(cols - 1, Math.max(0, Math.floor(x0)));
      if (fl & NEW_RECORDING) { starts.push(x0); counts.recordings++; }
      if (fl & TC_BREAK) { breaks.push(x0); counts.tcbreaks++; }
      if (f.pictures.has(i)) { pics.push(xOf(g + 0.5)); counts.pictures++; }
      if (!(fl & DAMAGED)) continue;
      counts.damaged++;
      const mb = f.macroblocks[i];
      const shareD = fl & UNREADABLE ? 1 : mb ? Math.min(1, f.damaged[i] / mb) : 0;
      const shareC = fl & UNREADABLE || !mb ? 0 : Math.min(1 - shareD, f.concealed[i] / mb);
      if (perPixel <= 1) {
        drawBars(ctx, x0, Math.max(1, xOf(g + 1) - x0 - (perPixel < 0.25 ? 1 : 0)), shareD, shareC, audioShare(f, i), vh, ah);
      } else {
        if (shareD + shareC > vd[c] + vc[c]) { vd[c] = shareD; vc[c] = shareC; }
        au[c] = Math.max(au[c], audioShare(f, i));
        any[c] = 1;
      }
    }
    if (perPixel > 1)
      for (let c = MARGIN; c < cols; ++c) if (any[c]) drawBars(ctx, c, 1, vd[c], vc[c], au[c], vh, ah);

    // File boundaries, recording starts, timecode breaks, pictures.
    ctx.font = "12px system-ui, sans-serif";
    for (const f of files) {
      if (f.start === 0 || f.start < first || f.start > last) continue;
      ctx.fillStyle = palette.ink;
      ctx.fillRect(Math.round(xOf(f.start)) - 3, 0, 2, LANES.axis[0] + 6);
    }
    ctx.fillStyle = palette.recording;
    for (const x of starts) {
      ctx.fillRect(Math.round(x), 0, 2, LANES.pictures[0]);
      ctx.beginPath(); ctx.moveTo(Math.round(x) + 2, 0); ctx.lineTo(Math.round(x) + 10, 4); ctx.lineTo(Math.round(x) + 2, 8); ctx.fill();
    }
    ctx.fillStyle = palette.tcbreak;
    for (const x of breaks) {
      ctx.beginPath(); ctx.moveTo(x - 5, 10); ctx.lineTo(x + 5, 10); ctx.lineTo(x, LANES.marks[1]); ctx.fill();
    }
    ctx.fillStyle = palette.picture;
    for (const x of pics) {
      ctx.beginPath(); ctx.arc(x, (LANES.pictures[0] + LANES.pictures[1]) / 2, 4, 0, 2 * Math.PI); ctx.fill();
    }
    drawAxis(ctx, w);
    ctx.fillStyle = palette.ink;
    for (const [name, lane] of [["video", LANES.video], ["audio", LANES.audio]]) ctx.fillText(name, 4, lane[0] + 14);

    Object.assign(canvas.dataset, {
      recordingMarks: counts.recordings, damagedMarks: counts.damaged, timecodeBreakMarks: counts.tcbreaks,
      pictureMarks: counts.pictures, firstFrame: first, lastFrame: last - 1
    });
    rangeText.textContent = total ? "frames " + num(first) + " to " + num(last - 1) + " of " + num(total) : "no frames";
  }

  function drawBars(ctx, x, bw, shareD, shareC, shareA, vh, ah) {
    const base = LANES.video[1];
    // Any damage shows at least 3 pixels high, so one bad macroblock is seen.
    let hd = shareD ? Math.max(3, shareD * vh) : 0, hc = shareC ? Math.max(3, shareC * vh) : 0;
    if (hd + hc > vh) hc = Math.max(0, vh - hd);
    if (!hd && !hc && !shareA) { ctx.fillStyle = palette.damaged; ctx.fillRect(x, base - 2, bw, 2); }
    ctx.fillStyle = palette.damaged; if (hd) ctx.fillRect(x, base - hd, bw, hd);
    ctx.fillStyle = palette.concealed; if (hc) ctx.fillRect(x, base - hd - hc, bw, hc);
    if (shareA) { ctx.fillStyle = palette.audio; ctx.fillRect(x, LANES.audio[0], bw, Math.max(3, shareA * ah)); }
  }

  function drawAxis(ctx, w) {
    const y = LANES.axis[0];
    ctx.strokeStyle = palette.muted; ctx.fillStyle = palette.ink;
    ctx.beginPath(); ctx.moveTo(MARGIN, y + 0.5); ctx.lineTo(w, y + 0.5); ctx.stroke();
    // Ticks at 1, 2 or 5 times a power of ten frames, about 110 pixels apart.
    const raw = view.span * 110 / width(), p = Math.pow(10, Math.floor(Math.log10(Math.max(1, raw))));
    const step = [1, 2, 5, 10].map((m) => m * p).find((s) => s >= raw) || 10 * p;
    ctx.textBaseline = "top";
    let free = 0;  // labels do not overlap: the next one starts right of this
    for (let g = Math.ceil(view.start / step) * step; g < Math.min(total, view.start + view.span); g += step) {
      const x = Math.round(xOf(g)) + 0.5;
      ctx.beginPath(); ctx.moveTo(x, y); ctx.lineTo(x, y + 5); ctx.stroke();
      const f = fileOf(g), i = g - f.start, tc = timecode(f, i);
      const label = (tc || String(i)) + (f.start === g && files.length > 1 ? " " + baseName(f.facts.file) : "");
      const lw = ctx.measureText(label).width;
      if (x + 3 >= free && x + 4 + lw < w) { ctx.fillText(label, x + 3, y + 6); free = x + 3 + lw + 12; }
    }
    ctx.textBaseline = "alphabetic";
  }

  function zoom(factor, anchorX) {
    const anchor = anchorX === undefined ? width() / 2 : Math.max(0, anchorX - MARGIN);
    const at = view.start + anchor * view.span / width();
    view.span *= factor;
    clampView();
    view.start = at - anchor * view.span / width();
    draw();
  }
  function show(g, span) {
    view.span = span;
    clampView();
    view.start = g + 0.5 - view.span / 2;
    draw();
  }

  function hover(ev) {
    const r = canvas.getBoundingClientRect(), x = ev.clientX - r.left;
    const g = frameAt(x);
    if (x < MARGIN || g < 0 || g >= total) { tooltip.hidden = true; return; }
    const f = fileOf(g), i = g - f.start, fl = f.flags[i];
    const lines = [];
    if (files.length > 1) lines.push(f.facts.file);
    lines.push("frame " + i + (timecode(f, i) ? "  " + timecode(f, i) : "  no timecode"));
    lines.push(recorded(f, i) || "no recording date");
    lines.push(damageText(f, i));
    if (f.audio[i]) lines.push(num(f.audio[i]) + " audio error samples");
    if (fl & NEW_RECORDING) lines.push("starts recording " + recordingOf(f, i));
    if (fl & TC_BREAK) lines.push("timecode break");
    if (fl & AUDIO_CHANGE) lines.push("audio mode changes");
    if (f.errors.has(i)) lines.push(f.errors.get(i));
    if (pictureNear(x)) lines.push("click to see its picture");
    tooltip.textContent = lines.join("\n");
    tooltip.dataset.frame = i;
    tooltip.dataset.file = f.k;
    tooltip.hidden = false;
    const box = canvas.parentElement.getBoundingClientRect();
    const left = Math.min(ev.clientX - box.left + 14, box.width - tooltip.offsetWidth - 4);
    tooltip.style.left = Math.max(0, left) + "px";
    tooltip.style.top = (ev.clientY - box.top + 14) + "px";
  }
  function recordingOf(f, i) {
    let n = 0;
    f.recordings.forEach((r, k) => { if (r.first_frame <= i) n = k + 1; });
    return n;
  }
  // The frame with a picture nearest x, within 5 pixels.
  function pictureNear(x) {
    const g0 = frameAt(x - 5), g1 = frameAt(x + 5);
    let best = null, bestDist = Infinity;
    for (const f of files) {
      for (const i of f.pictures.keys()) {
        const g = f.start + i;
        if (g < g0 || g > g1) continue;
        const d = Math.abs(xOf(g + 0.5) - x);
        if (d < bestDist) { best = { f, i }; bestDist = d; }
      }
    }
    return best;
  }

  const viewer = document.getElementById("viewer"), viewerImg = document.getElementById("viewer-img");
  const viewerCaption = document.getElementById("viewer-caption");
  function showPicture(f, i) {
    const p = f.pictures.get(i);
    viewerImg.src = p.src;
    viewerImg.width = p.display_width;
    viewerImg.height = p.height;
    viewerImg.alt = "Frame " + i + " of " + f.facts.file;
    viewerCaption.textContent = pictureCaption(f, p, true);
    viewer.dataset.frame = i;
    viewer.dataset.file = f.k;
    viewer.hidden = false;
  }
  function pictureCaption(f, p, long) {
    return (long && files.length > 1 ? baseName(f.facts.file) + ", " : "") + "frame " + p.frame +
      (timecode(f, p.frame) ? " (" + timecode(f, p.frame) + ")" : "") + ": " + p.why + "; " + damageText(f, p.frame) +
      (long ? ". Outlined: damaged macroblocks in vermillion, concealed in sky blue." : "");
  }

  let drag = null;
  canvas.addEventListener("pointerdown", (ev) => {
    drag = { x: ev.clientX, start: view.start, moved: false };
    canvas.setPointerCapture(ev.pointerId);
  });
  canvas.addEventListener("pointermove", (ev) => {
    if (drag) {
      const dx = ev.clientX - drag.x;
      if (Math.abs(dx) > 3) drag.moved = true;
      if (drag.moved) {
        canvas.classList.add("dragging");
        view.start = drag.start - dx * view.span / width();
        draw();
      }
    }
    hover(ev);
  });
  canvas.addEventListener("pointerup", (ev) => {
    const wasClick = drag && !drag.moved;
    drag = null;
    canvas.classList.remove("dragging");
    if (!wasClick) return;
    const r = canvas.getBoundingClientRect(), hit = pictureNear(ev.clientX - r.left);
    if (hit) showPicture(hit.f, hit.i);
  });
  canvas.addEventListener("pointerleave", () => { if (!drag) tooltip.hidden = true; });
  canvas.addEventListener("wheel", (ev) => {
    ev.preventDefault();
    const r = canvas.getBoundingClientRect();
    zoom(ev.deltaY > 0 ? 1.25 : 0.8, ev.clientX - r.left);
  }, { passive: false });
  document.getElementById("zoom-in").addEventListener("click", () => zoom(0.5));
  document.getElementById("zoom-out").addEventListener("click", () => zoom(2));
  document.getElementById("zoom-all").addEventListener("click", () => { view.start = 0; view.span = total; draw(); });
  // From the keyboard: arrows pan, + and - zoom, Home shows the whole tape.
  canvas.tabIndex = 0;
  canvas.addEventListener("keydown", (ev) => {
    const step = view.span / 10;
    if (ev.key === "ArrowLeft") { view.start -= step; draw(); }
    else if (ev.key === "ArrowRight") { view.start += step; draw(); }
    else if (ev.key === "+" || ev.key === "=") zoom(0.5);
    else if (ev.key === "-") zoom(2);
    else if (ev.key === "Home") { view.start = 0; view.span = total; draw(); }
    else return;
    ev.preventDefault();
  });
  window.addEventListener("resize", draw);
  window.addEventListener("beforeprint", () => { view.start = 0; view.span = total; draw(); });

  // ---- Each file: recordings, pictures, damaged frames, CSV --------------
  const sections = document.getElementById("files");
  files.forEach((f) => sections.append(fileSection(f)));

  function fileSection(f) {
    const s = el("section", { class: "file", id: "file-" + f.k }, el("h2", null, f.facts.file));
    s.append(el("h3", null, "Recordings"));
    const head = ["#", "first frame", "last frame", "frames", "start timecode", "end timecode", "start recorded",
      "end recorded", "damaged frames", "damaged MB", "concealed MB", "audio errors"];
    const rows = f.recordings.map((r, n) => {
      const tr = el("tr", { class: "selectable", title: "Show this recording on the timeline" },
        ...[n + 1, r.first_frame, r.first_frame + r.frames - 1, r.frames].map((v) => el("td", { class: "n" }, num(v))),
        ...[r.timecode, r.end_timecode, r.recorded, r.end_recorded].map((v) => el("td", null, ...dateTime(v))),
        ...[r.damaged_frames, r.damaged_macroblocks, r.concealed_macroblocks, r.audio_errors].map((v) => el("td", { class: v ? "n bad" : "n" }, num(v))));
      tr.addEventListener("click", () => { show(f.start + r.first_frame + r.frames / 2, r.frames * 1.1); canvas.scrollIntoView({ block: "nearest" }); });
      return tr;
    });
    s.append(el("div", { class: "table-wrap" }, el("table", null,
      el("thead", null, el("tr", null, ...head.map((h, c) => el("th", { class: c < 4 || c > 7 ? "n" : "" }, h)))),
      el("tbody", null, ...rows))));

    if (f.d.pictures.length) {
      s.append(el("h3", null, "Pictures"));
      s.append(el("p", { class: "note" }, "The first frame of each recording and the most damaged frames, at reduced size; " +
        "damaged macroblocks are outlined in vermillion, those the recorder concealed in sky blue."));
      const gallery = el("div", { class: "gallery" });
      for (const p of f.d.pictures) {
        const img = el("img", { src: p.src, width: p.display_width, height: p.height, alt: "Frame " + p.frame, loading: "lazy" });
        img.addEventListener("click", () => { showPicture(f, p.frame); show(f.start + p.frame, Math.min(view.span, 200)); viewer.scrollIntoView({ block: "nearest" }); });
        gallery.append(el("figure", { "data-frame": p.frame }, img, el("figcaption", null, pictureCaption(f, p, false))));
      }
      s.append(gallery);
    }

    s.append(el("h3", null, "Damaged frames"));
    const damagedList = [];
    for (let i = 0; i < f.frames; ++i) if (f.flags[i] & DAMAGED) damagedList.push(i);
    const csvLink = el("a", { href: "#", class: "csv-link", download: f.d.csv_name }, "Save the full scan as CSV (" + f.d.csv_name + ")");
    csvLink.addEventListener("click", (ev) => saveCsv(ev, f, csvLink));
    if (!damagedList.length) {
      s.append(el("p", null, "No damaged frames."), csvLink);
      return s;
    }
    const text = el("input", { type: "search", placeholder: "timecode, date, note", "aria-label": "Filter the damaged frames" });
    const minMb = el("input", { type: "number", min: "0", value: "0", "aria-label": "At least this many damaged or concealed macroblocks" });
    const kind = el("select", { "aria-label": "Kind of damage" },
      el("option", { value: "all" }, "any damage"), el("option", { value: "video" }, "picture damage"), el("option", { value: "audio" }, "audio errors"));
    const count = el("span", { class: "note", "aria-live": "polite" });
    const body = el("tbody");
    const LIMIT = 1000;
    function notes(i) {
      const n = [];
      if (f.flags[i] & NEW_RECORDING) n.push("recording start");
      if (f.flags[i] & TC_BREAK) n.push("timecode break");
      if (f.flags[i] & AUDIO_CHANGE) n.push("audio mode change");
      if (f.flags[i] & UNREADABLE) n.push("not readable");
      if (f.errors.has(i)) n.push(f.errors.get(i));
      if (f.pictures.has(i)) n.push("picture");
      return n.join("; ");
    }
    function fill() {
      const q = text.value.trim().toLowerCase(), min = Number(minMb.value) || 0, k = kind.value;
      const rows = [];
      let matched = 0;
      for (const i of damagedList) {
        const mb = f.damaged[i] + f.concealed[i];
        if (mb < min || (k === "video" && !mb && !(f.flags[i] & UNREADABLE)) || (k === "audio" && !f.audio[i])) continue;
        const tc = timecode(f, i), rec = recorded(f, i), note = notes(i);
        if (q && !(String(i) === q || tc.includes(q) || rec.includes(q) || note.toLowerCase().includes(q))) continue;
        if (++matched > LIMIT) continue;
        const tr = el("tr", { class: "selectable", "data-frame": i },
          el("td", { class: "n" }, String(i)), el("td", null, tc), el("td", null, rec),
          el("td", { class: "n" }, num(f.damaged[i])), el("td", { class: "n" }, num(f.concealed[i])),
          el("td", { class: "n" }, num(f.audio[i])), el("td", null, note));
        tr.addEventListener("click", () => { show(f.start + i, 60); if (f.pictures.has(i)) showPicture(f, i); canvas.scrollIntoView({ block: "nearest" }); });
        rows.push(tr);
      }
      body.replaceChildren(...rows);
      count.textContent = matched > LIMIT ? "showing the first " + num(LIMIT) + " of " + num(matched) + " frames; narrow the filter"
        : num(matched) + " of " + num(damagedList.length) + " damaged frames";
    }
    text.addEventListener("input", fill);
    minMb.addEventListener("input", fill);
    kind.addEventListener("change", fill);
    s.append(el("div", { class: "filter" }, el("label", null, "Filter ", text), el("label", null, "at least ", minMb, " macroblocks"), kind, count));
    const head2 = ["frame", "timecode", "recorded", "damaged MB", "concealed MB", "audio errors", "notes"];
    s.append(el("div", { class: "table-wrap" }, el("table", { class: "damaged-frames" },
      el("thead", null, el("tr", null, ...head2.map((h, c) => el("th", { class: c === 0 || (c >= 3 && c <= 5) ? "n" : "" }, h)))), body)));
    s.append(csvLink);
    fill();
    return s;
  }

  // The CSV is stored compressed (zlib); the browser inflates it on demand.
  async function saveCsv(ev, f, link) {
    if (link.dataset.ready) return;
    ev.preventDefault();
    try {
      const stream = new Blob([bytes(f.d.csv)]).stream().pipeThrough(new DecompressionStream("deflate"));
      const blob = new Blob([await new Response(stream).arrayBuffer()], { type: "text/csv" });
      link.href = URL.createObjectURL(blob);
      link.dataset.ready = "1";
      link.click();
    } catch (e) {
      link.textContent = "This browser cannot unpack the CSV (" + e.message + ")";
    }
  }

  // Drawn; the test and benchmark hooks, and the time the page took.
  draw();
  window.hvdvReport = {
    frameX: (file, i) => xOf(files[file].start + i + 0.5),
    show, draw, view,
    csv: async (file) => {
      const stream = new Blob([bytes(files[file].d.csv)]).stream().pipeThrough(new DecompressionStream("deflate"));
      return new Response(stream).text();
    }
  };
  window.hvdvRenderMs = performance.now() - started;
  window.hvdvReadyAt = performance.now();
  document.body.dataset.ready = "1";
})();
