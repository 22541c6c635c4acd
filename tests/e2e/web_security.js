// The web console as the school's network sees it (web_security_test.sh prepares the broker and the
// page's server): the page only over HTTPS from the campus's authority, with its security policy
// and the right type on every file; what a 管理员 session may not publish; a wrong password.
"use strict";

const { pass, fail, check, launch, login, run } = require("./web_browser.js");

const env = process.env;
const page_url = env.WEB_PAGE;
const root = "halvix/test";

const kTypes = {
  "": "text/html; charset=utf-8",
  "console.css": "text/css; charset=utf-8",
  "console.js": "text/javascript; charset=utf-8",
  "wire.js": "text/javascript; charset=utf-8",
  "mqtt.min.js": "text/javascript; charset=utf-8",
  "campus.json": "application/json; charset=utf-8",
  "favicon.png": "image/png",
};

// publishAs(page, user, password, topic): the broker's answer to a QoS 1 publish (0: taken,
// 135: not authorised), from a session of the page's own client library.
const publishAs = (page, user, password, topic) =>
  page.evaluate(({ port, user, password, topic }) => new Promise((done) => {
    const client = mqtt.connect(`wss://${location.hostname}:${port}/mqtt`, { username: user, password,
      protocolVersion: 5, reconnectPeriod: 0 });
    client.on("connect", () => client.publish(topic, "{}", { qos: 1 }, (error) => {
      client.end();
      done(error ? error.code : 0);
    }));
    client.on("error", (error) => done(`error ${error.code}`));
  }), { port: Number(env.WEB_WS_PORT), user, password, topic });

async function main() {
  const browser = await launch(env.HOME);
  const page = await browser.newPage();
  const answers = new Map();
  page.on("response", (response) => answers.set(new URL(response.url()).pathname.slice(1), response));
  const document = await page.goto(page_url);
  document.ok() && new URL(document.url()).protocol === "https:"
    ? pass("the page loads over HTTPS from the campus's authority") : fail(`the page: ${document.status()}`);
  await check("the page asked for its settings and its icon", () => answers.has("campus.json") && answers.has("favicon.png"));
  for (const [file, type] of Object.entries(kTypes)) {
    const answer = answers.get(file);
    const got = answer ? `${answer.status()} ${answer.headers()["content-type"]}` : "not asked for";
    got === `200 ${type}` ? pass(`/${file} is ${type}`) : fail(`/${file}: ${got}`);
  }
  const policy = document.headers()["content-security-policy"] || "";
  const connect = (policy.match(/connect-src ([^;]*)/) || [])[1];
  connect === `${page_url}campus.json wss://127.0.0.1:${env.WEB_WS_PORT}/mqtt` && /script-src 'self';/.test(policy) &&
    !policy.includes("unsafe") && /default-src 'none'/.test(policy)
    ? pass("its policy: own scripts only, connections only to its settings and the broker's wss listener")
    : fail(`the policy: ${policy}`);
  for (const file of Object.keys(kTypes).filter((f) => f)) {
    if ((answers.get(file)?.headers()["content-security-policy"] || "") !== policy) fail(`/${file} lacks the policy`);
  }

  // The browser holds to it: an injected inline script does not run, a connection elsewhere is refused.
  const inline = await page.evaluate(() => {
    const script = document.createElement("script");
    script.textContent = "window.injected = true";
    document.head.append(script);
    return window.injected === true;
  });
  inline ? fail("an inline script ran") : pass("an inline script does not run");
  const elsewhere = await page.evaluate((port) => new Promise((done) => {
    document.addEventListener("securitypolicyviolation", (event) => done(event.violatedDirective));
    try {
      new WebSocket(`wss://${location.hostname}:${port}/`);
    } catch (error) {
      done(error.name);
    }
    setTimeout(() => done("allowed"), 3000);
  }), Number(env.WEB_MQTT_PORT));
  elsewhere !== "allowed" ? pass(`a connection to the broker's other port is refused (${elsewhere})`)
    : fail("the page could connect to the broker's other port");

  // The page's powers are the broker's: a 管理员 may command and sound the emergency, nothing more.
  for (const [topic, expected] of [["cmd/probe", 0], ["snapshot", 135], ["sound/0123abcd", 135],
    ["status/b1", 135], ["today/b1", 135], ["ack/b1", 135], ["log/b1", 135], ["ping/b1", 135], ["pong/b1", 135]]) {
    const got = await publishAs(page, "it", env.WEB_PASSWORD, `${root}/${topic}`);
    got === expected ? pass(`a 管理员 session's publish to ${topic}: ${expected ? "refused" : "taken"}`)
      : fail(`a 管理员 session's publish to ${topic}: ${got}`);
  }

  await login(page, page_url, "duty", "not-the-password");
  await check("a wrong password is refused on the page", async () =>
    (await page.innerText("#login-message")).includes("用户名或密码错误"));
  await login(page, page_url, "duty", env.WEB_PASSWORD);
  await check("the right one logs in", async () => (await page.innerText("#connection")) === "已连接");
  await browser.close();

  // A PC that does not trust the campus's authority: the browser refuses the page itself.
  const stranger = await launch(env.WEB_STRANGER_HOME);
  const refused = await (await stranger.newPage()).goto(page_url).then(() => "loaded", (error) => error.message);
  refused.includes("ERR_CERT_AUTHORITY_INVALID") ? pass("a browser without the authority refuses the page")
    : fail(`a browser without the authority: ${refused}`);
  await stranger.close();
}

run(main);
