/*
 * The identity card section of the demo page: what the card commands'
 * replies carry, shown as a page would use them.
 *
 *   call({function: "ZCReadIDCard"}, (reply) => {
 *     // {"_tflag":"3","data":{"CardType":" ","name":"李晓明",...,"photo":"Qk0..."},
 *     //  "err_code":0,"err_msg":"读卡成功","functionName":"ZCReadIDCard"}
 *     if (reply.err_code !== 0) {             // a failure comes in the common envelope:
 *       show(reply.success, reply.msg);       // success = the reader's code, msg "读卡失败"
 *       return;
 *     }
 *     nameField.textContent = reply.data.name;
 *     if (reply.data.photo) img.src = "data:image/bmp;base64," + reply.data.photo;
 *   });
 *
 * Sending goes through demo.js; this file listens to the replies it hands on.
 */
(() => {
  "use strict";

  const $ = (selector) => document.querySelector(selector);

  const CARD_READS = new Set(["ZCReadIDCard", "ZCReadHIDIDCard", "act:readIntegratedCard"]);
  const SAM_QUERIES = new Set(["ZCGetSAMNum", "act:test"]);

  // The reply's fields in the order a card lists them, with what each one is.
  const FIELDS = [
    ["CardType", "card type (\" \" resident card, I, J)"],
    ["name", "name"],
    ["englishName", "English name (I)"],
    ["gender", "gender"],
    ["nation", "nation (resident card)"],
    ["birthday", "date of birth"],
    ["address", "address"],
    ["idNum", "identity number"],
    ["issueOrg", "issuing authority"],
    ["effectDate", "valid from"],
    ["expireDate", "valid until"],
    ["nationCode", "nationality (I)"],
    ["passNum", "travel permit number (J)"],
    ["signCount", "issues (J)"],
    ["CertVersion", "card version (I)"],
    ["figData", "fingerprint data"],
    ["dn", "dn"],
  ];

  function showOutcome(text, state) {
    const status = $("#idcard-status");
    status.textContent = text;
    status.dataset.state = state;
  }

  function showFields(command, data) {
    const list = $("#idcard-fields");
    list.replaceChildren();
    for (const [key, meaning] of FIELDS) {
      const term = document.createElement("dt");
      term.textContent = key;
      term.title = meaning;
      const value = document.createElement("dd");
      value.dataset.key = key;
      const text = typeof data[key] === "string" ? data[key] : "";
      // 2048 hex digits say little on a page; their presence is what counts.
      value.textContent = key === "figData" && text !== "" ? `${text.length / 2} bytes, ${text.slice(0, 16)}…` : text;
      if (text === "") value.classList.add("empty");
      list.append(term, value);
    }
  }

  function showPortrait(tag, photo) {
    const img = $("#idcard-photo");
    const caption = $("#idcard-photo-caption");
    img.dataset.tag = tag;
    if (typeof photo !== "string" || photo === "") {
      img.removeAttribute("src");
      caption.textContent = "No portrait: the card's portrait did not decode.";
      return;
    }
    img.onload = () => {
      caption.textContent = `${img.naturalWidth} × ${img.naturalHeight} px BMP`;
    };
    img.onerror = () => {
      caption.textContent = "The photo is not an image the browser can show";
    };
    img.src = "data:image/bmp;base64," + photo;
  }

  function showCard(command, tag, reply, ok) {
    if (!ok) {
      $("#idcard-result").hidden = true;
      showOutcome(`${command} (${tag}): ${reply.success} ${reply.msg}`, "failed");
      return;
    }
    const data = reply.data && typeof reply.data === "object" ? reply.data : {};
    const faces = command === "ZCReadHIDIDCard" ? "" : "; periphd drew the faces into frontNew.jpg and backNew.jpg";
    showOutcome(`${command} (${tag}): ${reply.err_msg}${faces}`, "ok");
    showFields(command, data);
    showPortrait(tag, data.photo);
    $("#idcard-result").hidden = false;
  }

  function showSamId(command, tag, reply, ok) {
    const id = reply.data ? `SAM id ${reply.data}` : "no SAM id in the answer";
    showOutcome(ok ? `${command} (${tag}): ${id}` : `${command} (${tag}): ${reply.success} ${reply.msg}`,
                ok ? "ok" : "failed");
  }

  function showSimulatedReader(reply, ok) {
    const out = $("#sim-idcard-state");
    if (!ok) {
      out.textContent = reply.msg;
      out.dataset.state = "failed";
      return;
    }
    let state = {};
    try {
      state = JSON.parse(reply.data);
    } catch (notJson) {
      state = {};
    }
    out.textContent = Object.entries(state).map(([key, value]) => `${key} ${value}`).join(" · ");
    out.dataset.state = "ok";
  }

  document.addEventListener("periphd:reply", (event) => {
    const { command, tag, reply, ok } = event.detail;
    if (CARD_READS.has(command)) showCard(command, tag, reply, ok);
    else if (SAM_QUERIES.has(command)) showSamId(command, tag, reply, ok);
    else if (command === "SimIDCard") showSimulatedReader(reply, ok);
    else return;
    event.preventDefault(); // shown here
  });

  // Sample holders for the SimIDCard form, one per card type.
  const HOLDERS = {
    resident: { CardType: " ", name: "王小红", gender: "女", nation: "回", birthday: "19880314",
                address: "宁夏回族自治区银川市兴庆区解放西街一号", idNum: "640104198803140022",
                issueOrg: "银川市公安局兴庆分局", effectDate: "20180501", expireDate: "20380501" },
    I: { CardType: "I", englishName: "GARCIA", name: "加西亚", gender: "男", idNum: "ESP440088031401",
         nationCode: "ESP", birthday: "19880314", effectDate: "20190601", expireDate: "20290601",
         CertVersion: "01", issueOrg: "1100" },
    J: { CardType: "J", name: "林家豪", gender: "男", birthday: "19950220", address: "福建省厦门市思明区中山路8号",
         idNum: "830000199502200015", issueOrg: "厦门市公安局", effectDate: "20220101", expireDate: "20270101",
         passNum: "T87654321", signCount: "02" },
  };

  for (const button of document.querySelectorAll("[data-holder]")) {
    button.addEventListener("click", () => {
      const form = $("#sim-idcard");
      const holder = HOLDERS[button.dataset.holder] || {};
      for (const field of form.querySelectorAll("fieldset.holder [name]"))
        field.value = holder[field.name] ?? "";
    });
  }
})();
