// Drives the web console in Debian's chromium (web_console_test.sh prepares the campus): staff log
// in, see the buildings, command them and see their answers; a read-only account gets no buttons
// and the broker refuses it; a wrong password is told; the page survives a restart of the broker.
"use strict";

const { chromium } = require("playwright-core");
const { execFileSync, spawn } = require("child_process");
const fs = require("fs");
const path = require("path");

const env = process.env;
const root = "halvix/test";
const campus = env.WEB_CAMPUS;
let failures = 0;
let shown = null; // the page a failure's screenshot shows
const pass = (what) => console.log(`ok: ${what}`);
const fail = (what) => {
  console.log(`FAILED: ${what}`);
  failures++;
  if (shown) shown.screenshot({ path: `${env.WEB_ARTIFACTS}/web-console-failure-${failures}.png`, fullPage: true });
};

// A retained message ("": none) published with a building's (or the central's) own certificate.
function publishAs(id, topic, message) {
  const certs = path.join(campus, "nodes", id, "certs");
  execFileSync("mosquitto_pub", ["-h", "127.0.0.1", "-p", env.WEB_PORT, "-V", "mqttv5", "--cafile", `${certs}/ca.crt`,
    "--cert", `${certs}/${id}.crt`, "--key", `${certs}/${id}.key`, "-q", "1", "-r", "-t", topic,
    ...(message === "" ? ["-n"] : ["-m", typeof message === "string" ? message : JSON.stringify(message)])],
    { timeout: 10000 });
}
// The retained message of a topic, read as the central.
function retained(topic) {
  const certs = path.join(campus, "nodes", "office", "certs");
  return execFileSync("mosquitto_sub", ["-h", "127.0.0.1", "-p", env.WEB_PORT, "-V", "mqttv5", "--cafile",
    `${certs}/ca.crt`, "--cert", `${certs}/office.crt`, "--key", `${certs}/office.key`, "-t", topic, "-C", "1",
    "-W", "3"], { timeout: 10000, encoding: "utf-8" });
}

function status(node, name, zones, extra = {}) {
  return { format: 1, node, name, zones, online: true, revision: 7, today: "日常 秋季 周二", snapshotProblem: "",
    soundProblems: [], clock: { synchronised: true, offsetMs: 3.4 }, version: "1.0", sentMs: Date.now(),
    lastRing: { atMs: Date.now(), time: "08:00:00", event: "上课", result: "已响铃", delayMs: 12 }, ...extra };
}
function today(node) {
  const entries = [["08:00:00", "上课", "上课.mp3", "已响铃"], ["08:45:00", "下课", "下课.mp3", ""],
    ["10:00:00", "课间操", "voic\\课间操", ""], ["12:00:00", "警报演练", "警报.mp3", ""]];
  return { format: 1, node, date: "2026-12-08", decision: "日常 秋季 周二",
    entries: entries.map(([time, event, sound, s]) => ({ time, event, sound, status: s })) };
}

// The reader's reason when a node refuses the payload as `kind` (command, emergency); "" when it takes it.
function refusal(kind, payload) {
  try {
    execFileSync(env.WEB_READ_WIRE, [kind], { input: payload, encoding: "utf-8" });
    return "";
  } catch (error) {
    return error.stdout || String(error);
  }
}

// check(what, async () => condition): waits up to `ms` for the condition.
async function check(what, condition, ms = 8000) {
  const end = Date.now() + ms;
  for (;;) {
    let got;
    try {
      got = await condition();
    } catch (error) {
      got = false;
    }
    if (got) return pass(what);
    if (Date.now() > end) return fail(what);
    await new Promise((r) => setTimeout(r, 200));
  }
}

async function login(page, user, password) {
  await page.goto(env.WEB_PAGE);
  await page.fill("#user", user);
  await page.fill("#password", password);
  await page.click("#login button[type=submit]");
}

const answerText = (page) => page.locator("#results li").first().locator(".answers").innerText();

async function main() {
  publishAs("b1", `${root}/status/b1`, status("b1", "实验楼", ["lab"]));
  publishAs("b2", `${root}/status/b2`, status("b2", "教学楼", ["teach"], { soundProblems: ["缺少声音: 下课.mp3"] }));
  publishAs("office", `${root}/today/b1`, today("b1"));
  publishAs("office", `${root}/today/b2`, today("b2"));

  const browser = await chromium.launch({ executablePath: "/usr/bin/chromium", args: ["--no-sandbox"] });
  const page = await browser.newPage({ viewport: { width: 1280, height: 900 } });
  shown = page;

  await login(page, "duty", "wrong-password");
  await check("a wrong password is reported", async () =>
    (await page.innerText("#login-message")).includes("用户名或密码错误") && (await page.isHidden("#console")));

  await login(page, "duty", "duty-secret");
  await check("the duty account sees both buildings online", async () => {
    const cards = await page.locator("#board .node:not(.offline)").allInnerTexts();
    return cards.length === 2 && cards[0].includes("实验楼") && cards[1].includes("缺少声音: 下课.mp3");
  });
  await check("and may act", () => page.isVisible("#actions"));
  await check("today's plan of a building is shown", async () =>
    (await page.locator("#plan tbody tr").count()) === 4 && (await page.innerText("#plan")).includes("课间操"));


  // What the network brings is untrusted: a bad payload is passed over and the page goes on.
  for (const [topic, payload] of [["status/b3", "not json"], ["status/b4", { format: 1, node: "b4", online: "yes" }],
    ["status/b5", { format: 1, node: "b6", online: true }], ["today/b1", { format: 1, node: "b2", entries: [] }],
    ["status/b7", { format: 1, node: "b7", online: true, name: "<img src=x onerror=alert(1)>\u0007" }]])
    publishAs("office", `${root}/${topic}`, payload);
  publishAs("b2", `${root}/status/b2`, status("b2", "教学楼", ["teach"], { soundProblems: ["缺少声音: 下课.mp3"],
    revision: 8 }));
  await check("bad payloads are passed over and the page goes on", async () => {
    const board = await page.innerText("#board");
    return (await page.locator("#board .node").count()) === 3 && board.includes("b7 (b7)") &&
      /计划版本\s+8/.test(await page.locator("#board .node").nth(1).innerText()) &&
      (await page.locator("#plan tbody tr").count()) === 4 && (await page.locator("#board img").count()) === 0;
  });
  publishAs("office", `${root}/status/b7`, "");
  await check("a building whose status is cleared leaves the board", async () =>
    (await page.locator("#board .node").count()) === 2);

  await page.selectOption("#target", "node:b1");
  await page.selectOption("#sound", "上课.mp3");
  await page.click("button[data-kind=play]");
  await check("立即播放 on b1 is acknowledged on the page", async () => (await answerText(page)).includes("实验楼: 已响铃"));
  const folders = await page.locator("#sound option").allInnerTexts();
  folders.includes("课间操") && !folders.some((s) => s.includes("\\")) ? pass("a folder of the plan is offered as a sound")
    : fail(`sounds offered: ${folders}`);

  await page.selectOption("#target", "all");
  await page.click("button[data-kind=stop]");
  await check("停止 to all: b1 answers, b2 is waited for", async () => {
    const text = await answerText(page);
    return text.includes("实验楼: 已停止") && text.includes("教学楼: 等待应答");
  });
  await check("and after the expiry b2 shows 无应答", async () => (await answerText(page)).includes("教学楼: 无应答"), 16000);
  await page.selectOption("#target", "zone:lab");
  await page.click("button[data-kind=mute]");
  await check("今日静音 to the zone reaches its building", async () => (await answerText(page)).includes("实验楼: 已静音"));

  await page.selectOption("#sound", "课间操");
  await page.click("#emergency-start");
  await check("a folder is refused as the emergency sound", async () =>
    (await page.innerText("#action-message")).includes("不能是文件夹") && (await page.isHidden("#confirm")));
  await page.selectOption("#sound", "警报.mp3");
  await page.click("#emergency-start");
  await check("紧急广播 asks first", async () => (await page.innerText("#confirm-text")).includes("区域 lab"));
  await page.click("#confirm-yes");
  await check("紧急广播 on a zone is retained on the broker", () => {
    const payload = retained(`${root}/emergency`);
    const e = JSON.parse(payload);
    return e.active === true && e.sound === "警报.mp3" && e.zones.join() === "lab" && e.by === "duty" &&
      refusal("emergency", payload) === "";
  });
  await check("and the page shows it", async () => (await page.innerText("#emergency")).includes("警报.mp3"));
  publishAs("b1", `${root}/status/b1`, status("b1", "实验楼", ["lab"], { emergency: { active: true } }));
  await check("its building's report is the answer", async () => (await answerText(page)).includes("实验楼: 正在播放"));
  publishAs("b1", `${root}/log/b1`, { format: 1, node: "b1", moment: "2026-12-08 12:00:00.012", planTime: "12:00:00",
    event: "警报演练", sound: "警报.mp3", result: "紧急广播中", delayMs: 0, note: "" });
  await check("a ring-log row appears as it arrives", async () =>
    (await page.innerText("#log tbody")).includes("2026-12-08 12:00:00.012\t实验楼\t警报演练"));
  await page.setViewportSize({ width: 1280, height: 1100 });
  await page.screenshot({ path: `${env.WEB_ARTIFACTS}/web-console-1280.png`, fullPage: true });
  await page.setViewportSize({ width: 360, height: 740 });
  await page.screenshot({ path: `${env.WEB_ARTIFACTS}/web-console-360.png`, fullPage: true });
  const wide = await page.evaluate(() => document.documentElement.scrollWidth);
  wide <= 360 ? pass("nothing sticks out at 360 px") : fail(`the page is ${wide} px wide at 360 px`);
  await page.click("#emergency-clear");
  await page.click("#confirm-yes");
  await check("解除 clears it on the broker", () => {
    const payload = retained(`${root}/emergency`);
    return JSON.parse(payload).active === false && refusal("emergency", payload) === "";
  });

  // The broker restarted: the page connects again and takes the retained state anew.
  process.kill(Number(env.WEB_BROKER_PID), "SIGTERM");
  await check("the page sees the connection drop", async () => (await page.innerText("#connection")).includes("中断"));
  const broker = spawn("mosquitto", ["-c", `${campus}/broker/mosquitto.conf`], { detached: true, stdio: "ignore" });
  fs.writeFileSync(`${campus}/broker.pid`, String(broker.pid));
  broker.unref();
  await check("and reconnects by itself", async () => (await page.innerText("#connection")) === "已连接", 15000);
  publishAs("b2", `${root}/status/b2`, { format: 1, node: "b2", online: false });
  await check("the board follows after the reconnect", async () =>
    (await page.locator("#board .node.offline").allInnerTexts()).some((t) => t.includes("教学楼")));

  const viewer = await browser.newPage();
  shown = viewer;
  await login(viewer, "viewer", "viewer-secret");
  await check("the read-only account sees the board", async () => (await viewer.locator("#board .node").count()) === 2);
  await check("and no action buttons", async () =>
    (await viewer.innerText("#who")).includes("只读") && (await viewer.isHidden("#actions")));
  const refused = await viewer.evaluate(({ port, root }) => new Promise((done) => {
    const client = mqtt.connect(`wss://${location.hostname}:${port}/mqtt`, { username: "viewer",
      password: "viewer-secret", protocolVersion: 5, reconnectPeriod: 0 });
    const command = { format: 1, id: "forged-by-viewer", target: "node:b1", kind: "play", sound: "警报.mp3",
      issuedMs: Date.now(), expiry: 10 };
    client.on("connect", () => client.publish(`${root}/cmd/node/b1`, JSON.stringify(command), { qos: 1 },
      (error) => { client.end(); done(error ? error.code : 0); }));
    client.on("error", (error) => done(`error ${error.message}`));
  }), { port: JSON.parse(fs.readFileSync(`${campus}/broker/web/campus.json`)).wsPort, root });
  refused === 135 ? pass("a forged publish from the read-only session is refused by the broker")
    : fail(`the read-only publish: ${refused}`);
  // The page's own listener has no TLS: a password sent there must get nowhere.
  const plain = await viewer.evaluate(() => new Promise((done) => {
    const client = mqtt.connect(`ws://${location.host}/mqtt`, { username: "duty", password: "duty-secret",
      protocolVersion: 5, reconnectPeriod: 0 });
    client.on("connect", () => done("connected"));
    client.on("error", (error) => done(error.code));
  }));
  [134, 135].includes(plain) ? pass("nobody logs in on the page's plain listener") : fail(`the page's listener: ${plain}`);

  const admin = await browser.newPage();
  shown = admin;
  await login(admin, "it", "duty-secret");
  await check("the 管理员 account may act", async () =>
    (await admin.innerText("#who")).includes("可操作") && (await admin.isVisible("#actions")));

  await browser.close();

  // A PC that does not trust the campus's authority yet: the browser refuses the connection
  // without asking, and the page says what to check.
  const stranger = await chromium.launch({ executablePath: "/usr/bin/chromium", args: ["--no-sandbox"],
    env: { ...process.env, HOME: fs.mkdtempSync(`${env.HOME}/../stranger-`) } });
  shown = await stranger.newPage();
  await login(shown, "duty", "duty-secret");
  await check("an untrusted certificate is reported", async () =>
    (await shown.innerText("#login-message")).includes("是否信任学校的证书"));
  await stranger.close();
}

main().then(() => process.exit(failures ? 1 : 0), (error) => {
  console.log(`FAILED: ${error.stack}`);
  process.exit(1);
});
