"""The demo page as a user sees it: its forms, buttons and log, read from the DOM."""
import json

# Resolves once `condition` (a JS expression) is truthy, re-checked on every DOM change.
WAIT_SCRIPT = """
new Promise((resolve, reject) => {
  let observer = null, timer = null;
  const check = () => {
    let value = null;
    try { value = (%(condition)s); } catch (error) { value = null; }
    if (!value) return;
    observer.disconnect(); clearTimeout(timer); resolve(value);
  };
  observer = new MutationObserver(check);
  observer.observe(document, {subtree: true, childList: true, attributes: true, characterData: true});
  timer = setTimeout(() => { observer.disconnect(); reject(new Error("timed out")); }, %(timeout_ms)d);
  check();
})
"""

# The log entry for one tag, as plain data.
ENTRY_SCRIPT = """
(() => {
  const entry = [...document.querySelectorAll('#log > li')].find(e => e.dataset.kind === 'request' && e.dataset.tag === %s);
  if (!entry) return null;
  const text = (selector) => { const node = entry.querySelector(selector); return node ? node.textContent : null; };
  return {kind: entry.dataset.kind, state: entry.dataset.state || "", function: entry.dataset.function || "",
          tag: entry.dataset.tag, title: text(".title"), note: text(".note"),
          sent: text("pre.sent"), reply: text("pre.reply")};
})()
"""

SETTLED = "['ok', 'failed', 'echo', 'done', 'error']"


class DemoPage:
    def __init__(self, session):
        self.session = session

    async def wait(self, condition, what, timeout=20):
        script = WAIT_SCRIPT % {"condition": condition, "timeout_ms": int(timeout * 1000)}
        try:
            return await self.session.evaluate(script, await_promise=True, timeout=timeout + 5)
        except Exception as error:
            raise AssertionError(f"page never showed {what}: {error}") from error

    async def connect(self, url):
        await self.session.evaluate(f"document.querySelector('#url').value = {json.dumps(url)};"
                                    "document.querySelector('#connect').click()")
        await self.wait("document.querySelector('#status').dataset.state === 'open'", f"a connection to {url}")

    async def disconnect(self):
        await self.session.evaluate("document.querySelector('#disconnect').click()")
        await self.wait("document.querySelector('#status').dataset.state === 'closed'", "the connection closed")

    async def fill(self, command, fields):
        for name, value in fields.items():
            await self.session.evaluate(
                f"document.querySelector('form[data-command={json.dumps(command)}] "
                f"input[name={json.dumps(name)}]').value = {json.dumps(value)}")

    async def _click_and_take_tag(self, button):
        """Clicks, then returns the tag of the request entry the click added on top of the log."""
        return await self.session.evaluate(f"""(() => {{
            const before = document.querySelector('#log > li');
            document.querySelector({json.dumps(button)}).click();
            const entry = document.querySelector('#log > li');
            if (entry === before || entry.dataset.kind !== 'request') throw new Error('no request entry added');
            return entry.dataset.tag || '';
        }})()""")

    async def click(self, command, **fields):
        await self.fill(command, fields)
        return await self._click_and_take_tag(f'form[data-command="{command}"] button')

    async def send_raw(self, text):
        await self.session.evaluate(f"document.querySelector('#raw-text').value = {json.dumps(text)}")
        return await self._click_and_take_tag("#raw-form button")

    async def entry(self, tag):
        return await self.session.evaluate(ENTRY_SCRIPT % json.dumps(tag))

    async def settled(self, tag, what=None, timeout=20):
        """The entry of `tag` once it is answered or finished one way or another."""
        find = f"[...document.querySelectorAll('#log > li')].find(e => e.dataset.kind === 'request' && e.dataset.tag === {json.dumps(tag)})"
        await self.wait(f"{SETTLED}.includes(({find}).dataset.state)", what or f"an outcome for request {tag}", timeout)
        return await self.entry(tag)

    async def entries(self, kind):
        """All log entries of one kind, oldest first."""
        return await self.session.evaluate(f"""[...document.querySelectorAll('#log > li[data-kind={json.dumps(kind)}]')]
            .reverse().map(e => ({{title: e.querySelector('.title').textContent,
                                  note: e.querySelector('.note').textContent,
                                  tag: e.dataset.tag || '',
                                  reply: (e.querySelector('pre.reply') || {{}}).textContent || null}}))""")

    async def text(self, selector):
        return await self.session.evaluate(f"document.querySelector({json.dumps(selector)}).textContent")
