/*
 * The camera section of the demo page:
 *
 *   call({function: "ZCCameraPic"}, (reply) => {
 *     // Answered when the operator closes the camera window.
 *     if (reply.success === 1) img.src = "data:image/jpeg;base64," + reply.Base64;
 *   });
 *
 * With periphd --simulate, SimCamera plugs the simulated cameras in and out
 * ("document", "portrait": "1" or "0") and gives them a picture to show
 * ("image": Base64 of a PNG or JPEG, "" for their own pictures).
 */
(() => {
  "use strict";

  const $ = (selector) => document.querySelector(selector);
  const image = $("#camera-photo-image");
  const caption = $("#camera-photo-caption");
  const chosenImage = $('form[data-command="SimCamera"] input[name="image"]');
  const file = $("#sim-camera-file");

  document.addEventListener("periphd:reply", (event) => {
    const { reply, tag, command } = event.detail;
    if (command !== "ZCCameraPic") return;
    event.preventDefault(); // the photo goes here, not to the signature
    if (reply.success !== 1 || typeof reply.Base64 !== "string" || reply.Base64 === "") {
      caption.textContent = `No photo from ${tag}: the window was closed without a picture taken in it`;
      return;
    }
    image.onload = () => {
      caption.textContent = `Photo from ${tag}: ${image.naturalWidth} × ${image.naturalHeight} px JPEG`;
    };
    image.onerror = () => {
      caption.textContent = `The Base64 of ${tag} is not an image the browser can show`;
    };
    image.dataset.tag = tag;
    image.src = "data:image/jpeg;base64," + reply.Base64;
  });

  // The chosen file travels as Base64 in the form's hidden "image" field.
  file.addEventListener("change", () => {
    chosenImage.value = "";
    delete chosenImage.dataset.name;
    const chosen = file.files[0];
    if (!chosen) return;
    const reader = new FileReader();
    reader.onload = () => {
      chosenImage.value = String(reader.result).replace(/^data:[^,]*,/, "");
      chosenImage.dataset.name = chosen.name;
    };
    reader.readAsDataURL(chosen);
  });
  $("#sim-camera-own").addEventListener("click", () => {
    file.value = "";
    chosenImage.value = "";
    delete chosenImage.dataset.name;
  });
})();
