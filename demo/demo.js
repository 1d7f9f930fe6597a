/*
 * The least a page needs to drive periphd:
 *
 *   const ws = new WebSocket("ws://localhost:12343");
 *   const waiting = new Map();                 // _tflag -> what to do with the reply
 *   let nextTag = 1;
 *
 *   function call(request, onReply) {
 *     request._tflag = String(nextTag++);
 *     waiting.set(request._tflag, onReply);
 *     // The service reads every ' as ", so keep apostrophes in values escaped.
 *     ws.send(JSON.stringify(request).replace(/'/g, "\\u0027"));
 *   }
 *
 *   ws.onmessage = (event) => {
 *     // {"_tflag":"1","functionName":"ZCStartDeviceAB","msg":"","success":1}
 *     const reply = JSON.parse(event.data);
 *     const onReply = waiting.get(reply._tflag);
 *     waiting.delete(reply._tflag);
 *     if (onReply) onReply(reply);
 *   };
 *
 *   ws.onopen = () => call({function: "ZCStartDeviceAB"}, (started) => {
 *     if (started.success !== 1) return;       // no pad, or it could not be opened
 *     call({function: "ZCBeginSignAB", x: "0", y: "0", width: "800", height: "480"}, (signed) => {
 *       // Answered when the signer presses OK (success 1) or Cancel (msg "用户已取消").
 *       if (signed.success === 1) img.src = "data:image/png;base64," + signed.Base64;
 *     });
 *   });
 *
 * ZCEndSignAB or ZCStopDeviceAB close an open signing window from the page;
 * the pending ZCBeginSignAB then gets no reply at all, so forget its tag.
 * A text that is not a known command comes back unchanged.
 *
 * The rest of this file is the demo page itself.
 */
(() => {
  "use strict";

  // Commands the service never answers.
  const NO_REPLY = new Set(["ZCReadHIDOpen"]);
  // Commands that close an open signing window, whose ZCBeginSignAB then stays unanswered.
  const ENDS_SIGNATURE = new Set(["ZCEndSignAB", "ZCStopDeviceAB"]);

  const $ = (selector) => document.querySelector(selector);
  const log = $("#log");
  const status = $("#status");

  let socket = null;
  let tagCount = 0;
  // A prefix per page load keeps tags unique even across reloads sharing one service log.
  const tagPrefix = "demo" + Date.now().toString(36).slice(-4) + "-";
  const pending = new Map(); // _tflag -> { entry, command, text }

  function newTag() {
    tagCount += 1;
    return tagPrefix + tagCount;
  }

  function clock() {
    return new Date().toLocaleTimeString([], { hour12: false });
  }

  // One log line: a heading and, below it, the texts sent and received.
  function addEntry(kind, title, { tag = "", command = "" } = {}) {
    const entry = document.createElement("li");
    entry.className = "entry";
    entry.dataset.kind = kind;
    if (tag) entry.dataset.tag = tag;
    if (command) entry.dataset.function = command;
    const head = document.createElement("div");
    head.className = "head";
    for (const [cls, text] of [["time", clock()], ["title", title], ["tag", tag], ["note", ""]]) {
      const span = document.createElement("span");
      span.className = cls;
      span.textContent = text;
      head.append(span);
    }
    entry.append(head);
    log.prepend(entry);
    return entry;
  }

  function addText(entry, cls, text) {
    const pre = document.createElement("pre");
    pre.className = cls;
    pre.textContent = text;
    entry.append(pre);
    return pre;
  }

  function setState(entry, state, note) {
    entry.dataset.state = state;
    entry.querySelector(".note").textContent = note;
  }

  function setStatus(state, text) {
    status.dataset.state = state;
    status.textContent = text;
  }

  function connected() {
    return socket !== null && socket.readyState === WebSocket.OPEN;
  }

  function sendText(text, { tag = "", command = "" } = {}) {
    const entry = addEntry("request", command || "message", { tag, command });
    addText(entry, "sent", text);
    if (!connected()) {
      setState(entry, "error", "not connected: nothing was sent");
      return;
    }
    socket.send(text);
    if (NO_REPLY.has(command)) {
      setState(entry, "done", "sent; this command gets no reply");
    } else if (tag) {
      pending.set(tag, { entry, command, text });
      setState(entry, "pending", command === "ZCBeginSignAB" ? "waiting for the signer…" : "waiting for the reply…");
    } else {
      setState(entry, "done", "sent without a tag: a reply shows on its own");
    }
  }

  // The service turns every ' into " before parsing; escaped, an apostrophe in a value survives.
  function requestText(request) {
    return JSON.stringify(request).replace(/'/g, "\\u0027");
  }

  function sendCommand(command, fields) {
    const tag = newTag();
    sendText(requestText({ function: command, ...fields, _tflag: tag }), { tag, command });
  }

  // The two selectors that arrive in "act" instead of "function"; logged as "act:<value>".
  function sendAct(act, fields) {
    const tag = newTag();
    sendText(requestText({ act, ...fields, _tflag: tag }), { tag, command: `act:${act}` });
  }

  // Free text: a JSON object gets a tag (so its reply or echo can be matched), anything else goes as typed.
  function sendRaw(text) {
    let request = null;
    try {
      request = JSON.parse(text);
    } catch (notJson) {
      request = null;
    }
    if (request === null || typeof request !== "object" || Array.isArray(request)) {
      sendText(text);
      return;
    }
    if (typeof request._tflag !== "string" || request._tflag === "" || pending.has(request._tflag))
      request._tflag = newTag();
    const command = typeof request.function === "string" ? request.function : "";
    sendText(requestText(request), { tag: request._tflag, command });
  }

  function answer(waiting, state, text, note) {
    addText(waiting.entry, "reply", text);
    setState(waiting.entry, state, note);
  }

  function showSignature(base64, tag, command) {
    const img = $("#signature-image");
    const caption = $("#signature-caption");
    img.onload = () => {
      caption.textContent = `Signature from ${command} (${tag}): ${img.naturalWidth} × ${img.naturalHeight} px PNG`;
    };
    img.onerror = () => {
      caption.textContent = `The Base64 of ${tag} is not an image the browser can show`;
    };
    img.dataset.tag = tag;
    img.src = "data:image/png;base64," + base64;
  }

  // A signing window closed from the page leaves its ZCBeginSignAB unanswered for good.
  function closeOpenSignatures(byTag, byCommand) {
    for (const [tag, waiting] of pending) {
      if (waiting.command !== "ZCBeginSignAB") continue;
      pending.delete(tag);
      setState(waiting.entry, "done", `ended by ${byCommand} (${byTag}): no reply is sent`);
    }
  }

  function onText(text) {
    let reply;
    try {
      reply = JSON.parse(text);
    } catch (notJson) {
      addText(addEntry("notjson", "reply is not JSON"), "reply", text);
      return;
    }
    if (reply === null || typeof reply !== "object" || Array.isArray(reply)) {
      addText(addEntry("notjson", "reply is not a JSON object"), "reply", text);
      return;
    }
    const tag = reply._tflag;
    const waiting = typeof tag === "string" ? pending.get(tag) : undefined;
    if (waiting === undefined) {
      const title = tag === undefined ? "reply without a tag" : `reply with unknown tag ${JSON.stringify(tag)}`;
      addText(addEntry("unmatched", title, { tag: tag === undefined ? "" : String(tag) }), "reply", text);
      return;
    }
    pending.delete(tag);
    if (text === waiting.text) {
      answer(waiting, "echo", text, "echoed back unchanged: not a known command");
      return;
    }
    // The identity card reply has no "success": it carries err_code 0 and err_msg instead.
    const cardReply = reply.success === undefined && reply.err_code === 0;
    const ok = reply.success === 1 || cardReply;
    const note = cardReply ? `err_code 0: ${reply.err_msg}`
      : ok ? "success" : `success ${reply.success}${reply.msg ? ": " + reply.msg : ""}`;
    answer(waiting, ok ? "ok" : "failed", text, note);
    // Sections in files of their own (camera.js, idcard.js) take the replies they show themselves.
    const claimed = !document.dispatchEvent(new CustomEvent("periphd:reply", {
      cancelable: true, detail: { reply, tag, command: waiting.command, ok } }));
    if (!claimed && typeof reply.Base64 === "string" && reply.Base64 !== "")
      showSignature(reply.Base64, tag, reply.functionName);
    if (waiting.command === "ZCSIMCard")
      $("#iccid").textContent = ok ? `ICCID ${reply.data ?? ""}` : reply.msg;
    if (ok && ENDS_SIGNATURE.has(waiting.command))
      closeOpenSignatures(tag, waiting.command);
  }

  function onMessage(event) {
    if (typeof event.data === "string") {
      onText(event.data);
      return;
    }
    const entry = addEntry("binary", "binary message");
    addText(entry, "reply", `${event.data.byteLength} bytes`);
  }

  // Whatever was still waiting will never be answered on a new connection.
  function dropConnection(title) {
    socket = null;
    setStatus("closed", "disconnected");
    const entry = addEntry("closed", title);
    setState(entry, "closed", pending.size ? `${pending.size} request(s) left unanswered` : "");
    for (const waiting of pending.values())
      setState(waiting.entry, "failed", "no reply: the connection closed");
    pending.clear();
  }

  function onClose(event) {
    if (event.target !== socket) return; // an older socket, already dropped by a reconnect
    const reason = event.reason ? `, ${event.reason}` : "";
    dropConnection(`connection closed (code ${event.code}${reason})`);
  }

  function connect(url) {
    if (socket !== null) {
      const old = socket;
      dropConnection("connection closed for a new one");
      old.close(1000, "reconnecting");
    }
    let next;
    try {
      next = new WebSocket(url);
    } catch (error) {
      setState(addEntry("error", `cannot connect to ${url}`), "error", error.message);
      return;
    }
    next.binaryType = "arraybuffer";
    socket = next;
    setStatus("connecting", "connecting…");
    next.onopen = () => {
      if (next !== socket) return;
      setStatus("open", "connected");
      setState(addEntry("open", `connected to ${url}`), "open", "");
    };
    next.onmessage = onMessage;
    next.onerror = () => {
      if (next !== socket) return;
      setState(addEntry("error", `connection error on ${url}`), "error", "");
    };
    next.onclose = onClose;
  }

  $("#connect-form").addEventListener("submit", (event) => {
    event.preventDefault();
    connect($("#url").value.trim());
  });
  $("#disconnect").addEventListener("click", () => {
    if (socket !== null) socket.close(1000, "closed by the page");
  });
  $("#clear-log").addEventListener("click", () => log.replaceChildren());
  $("#raw-form").addEventListener("submit", (event) => {
    event.preventDefault();
    sendRaw($("#raw-text").value);
  });
  // Field values are sent as text, except fields marked data-json, which carry JSON values.
  // Fields marked data-optional are left out while empty.
  function formFields(form) {
    const fields = Object.fromEntries(new FormData(form));
    for (const field of form.querySelectorAll("[data-optional]"))
      if (field.value === "") delete fields[field.name];
    for (const field of form.querySelectorAll("[data-json]")) {
      try {
        fields[field.name] = JSON.parse(field.value);
      } catch (error) {
        const entry = addEntry("request", form.dataset.command, { command: form.dataset.command });
        addText(entry, "sent", field.value);
        setState(entry, "error", `${field.name} is not JSON: nothing was sent`);
        return null;
      }
    }
    return fields;
  }

  for (const form of document.querySelectorAll("form[data-command], form[data-act]")) {
    form.addEventListener("submit", (event) => {
      event.preventDefault();
      const fields = formFields(form);
      if (fields === null) return;
      if (form.dataset.act) sendAct(form.dataset.act, fields);
      else sendCommand(form.dataset.command, fields);
    });
  }

  // Simulated pen presets, in pixels of a window of the size the ZCBeginSignAB form asks for.
  // The window's bottom row holds Cancel, ReSign and OK, 60 px high, 10 px apart, 2 px in from
  // the right and bottom edges; a pen lifted over one presses it.
  function windowSize() {
    const form = document.querySelector('form[data-command="ZCBeginSignAB"]');
    return { width: Number(form.elements.width.value) || 0, height: Number(form.elements.height.value) || 0 };
  }

  function liftOn(button, { width, height }) {
    const buttonWidth = (width - 2 - 20) / 3;
    const index = ["Cancel", "ReSign", "OK"].indexOf(button);
    const x = Math.round(index * (buttonWidth + 10) + buttonWidth / 2);
    const y = Math.round(height - 2 - 30);
    return [[x, y, 700], [x, y, 0]];
  }

  // Two strokes across the writing area: a row of loops and an underline.
  function sampleSignature({ width, height }) {
    const points = [];
    const stroke = (count, at) => {
      for (let i = 0; i <= count; i += 1) {
        const [x, y, pressure] = at(i / count);
        if (i === 0) points.push([Math.round(x), Math.round(y), 0]);
        points.push([Math.round(x), Math.round(y), Math.round(pressure)]);
      }
      points.push([...points[points.length - 1].slice(0, 2), 0]);
    };
    stroke(60, (t) => {
      const turn = t * 10 * Math.PI; // five loops, leaning forward, shrinking to the right
      return [width * (0.1 + 0.55 * t - 0.035 * Math.sin(turn)),
              height * (0.42 - 0.15 * (1 - 0.4 * t) * Math.cos(turn)), 650 + 370 * Math.sin(t * Math.PI)];
    });
    stroke(12, (t) => [width * (0.15 + 0.6 * t), height * (0.6 - 0.03 * t), 900]);
    return points;
  }

  for (const preset of document.querySelectorAll("[data-preset]")) {
    preset.addEventListener("click", () => {
      const size = windowSize();
      const points = preset.dataset.preset === "signature" ? sampleSignature(size) : liftOn(preset.dataset.preset, size);
      const form = document.querySelector('form[data-command="SimPenStroke"]');
      form.elements.unit.value = "window";
      form.elements.points.value = JSON.stringify(points);
    });
  }
})();
