// Drives the web console in Debian's chromium (web_console_test.sh prepares the campus): staff log
// in, see the buildings, command them and see their answers; a read-only account gets no buttons
// and the broker refuses it; a wrong password is told; the page survives a restart of the broker.
"use strict";

const { execFileSync, spawn } = require("child_process");
const fs = require("fs");
const path = require("path");
const { pass, fail, onFailure, check, launch, login: loginAt, run } = require("./web_browser.js");

const env = process.env;
const root = "halvix/test";
const campus = env.WEB_CAMPUS;
let shown = null; // the page a failure's screenshot shows
onFailure((failures) => {
  if (shown) shown.screenshot({ path: `${env.WEB_ARTIFACTS}/web-console-failure-${failures}.png`, fullPage: true });
});

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

// Notes the real second of something the page did, for the recordings to be judged by.
const mark = (what) => fs.appendFileSync(env.WEB_MARKS, `${what} ${(Date.now() / 1000).toFixed(3)}\n`);

const login = (page, user, password) => loginAt(page, env.WEB_PAGE, user, password);

const answerText = (page) => page.locator("#results li").first().locator(".answers").innerText();

const card = (page, node) => page.locator(`#board .node[data-node="${node}"]`);
// Both buildings on the board, online at the plan's revision.
const bothOnline = (page) => async () => {
  for (const node of ["b1", "b2"]) {
    const text = await card(page, node).innerText();
    if (!text.includes("在线") || !/计划版本\s+1\b/.test(text)) return false;
  }
  return true;
};

// A page whose clock is `shiftMs` off the real time, as on an office PC whose clock drifted.
async function skewedPage(browser, shiftMs) {
  const context = await browser.newContext({ viewport: { width: 1280, height: 900 } });
  await context.addInitScript((shift) => {
    const RealDate = Date;
    class ShiftedDate extends RealDate {
      constructor(...args) {
        super(...(args.length ? args : [RealDate.now() + shift]));
      }
      static now() {
        return RealDate.now() + shift;
      }
    }
    globalThis.Date = ShiftedDate;
  }, shiftMs);
  return context.newPage();
}

const sleep = (ms) => new Promise((r) => setTimeout(r, ms));

async function main() {
  const browser = await launch(env.HOME);
  const page = await browser.newPage({ viewport: { width: 1280, height: 900 } });
  shown = page;

  await login(page, "duty", "wrong-password");
  await check("a wrong password is reported", async () =>
    (await page.innerText("#login-message")).includes("用户名或密码错误") && (await page.isHidden("#console")));

  await login(page, "duty", "duty-secret");
  await check("the duty account sees both buildings online with their revision", bothOnline(page), 15000);
  await check("and may act, its role said in Chinese", async () =>
    (await page.isVisible("#actions")) && (await page.innerText("#who")) === "duty · 值班 (可操作)");
  await check("zones show by their names", async () =>
    /区域\s+实验楼\n/.test(await card(page, "b1").innerText()) &&
    (await page.locator("#target option").allInnerTexts()).includes("区域 教学楼"));
  await page.selectOption("#plan-node", "b1");
  await check("b1's plan of today is shown, every entry still to ring", async () => {
    const rows = await page.locator("#plan tbody tr").allInnerTexts();
    return rows.length === 2 && rows[0].includes("第一节上课\t上课.mp3\t待完") && rows.every((r) => r.endsWith("待完")) &&
      /^\d{4}-\d{2}-\d{2} 星期/.test(await page.innerText("#plan-decision"));
  });
  const sounds = await page.locator("#sound option").allInnerTexts();
  ["上课.mp3", "警报.wav", "课间操"].every((s) => sounds.includes(s))
    ? pass("every sound of the shared plan is offered, one no entry of today rings and a folder by its name")
    : fail(`sounds offered: ${sounds}`);

  // What the network brings is untrusted: a bad payload is passed over and the page goes on.
  for (const [topic, payload] of [["status/b3", "not json"], ["status/b4", { format: 1, node: "b4", online: "yes" }],
    ["status/b5", { format: 1, node: "b6", online: true }], ["today/b1", { format: 1, node: "b2", entries: [] }],
    ["status/b7", { format: 1, node: "b7", online: true, name: "<img src=x onerror=alert(1)>\u0007" }]])
    publishAs("office", `${root}/${topic}`, payload);
  await check("bad payloads are passed over and the page goes on", async () =>
    (await page.locator("#board .node").count()) === 4 && (await card(page, "b7").innerText()).includes("b7 (b7)") &&
    (await page.locator("#plan tbody tr").count()) === 2 && (await page.locator("#board img").count()) === 0);

  await page.selectOption("#target", "node:b1");
  await page.selectOption("#sound", "上课.mp3");
  mark("play");
  await page.click("button[data-kind=play]");
  await check("立即播放 on b1 is acknowledged on the page", async () => (await answerText(page)).includes("实验楼: 已响铃"));

  // b7 was never a building that answers: after the expiry the page says so.
  await page.selectOption("#target", "all");
  await page.click("button[data-kind=stop]");
  await check("停止 to all: every building answers, b7 is waited for", async () => {
    const text = await answerText(page);
    return ["办公室", "实验楼", "教学楼"].every((n) => text.includes(`${n}: 已停止`)) && text.includes("b7: 等待应答");
  });
  await page.selectOption("#target", "zone:teach");
  await page.click("button[data-kind=mute]");
  await check("今日静音 to zone teach: b2 takes the page's date as its today", async () =>
    (await answerText(page)).includes("教学楼: 已静音"));
  await page.click("button[data-kind=unmute]");
  await check("恢复响铃 to zone teach is answered", async () => (await answerText(page)).includes("教学楼: 已恢复响铃"));
  await check("after its expiry b7 shows 无应答", async () =>
    (await page.locator("#results li").nth(2).innerText()).includes("b7: 无应答"), 16000);
  publishAs("office", `${root}/status/b7`, "");
  await check("a building whose status is cleared leaves the board", async () =>
    (await page.locator("#board .node").count()) === 3);

  const viewer = await browser.newPage();
  shown = viewer;
  await login(viewer, "viewer", "viewer-secret");
  await check("the read-only account sees the board", bothOnline(viewer));
  await check("and no action buttons", async () =>
    (await viewer.innerText("#who")) === "viewer · 只读" && (await viewer.isHidden("#actions")));
  mark("forged");
  const forgedAt = Date.now();
  const refused = await viewer.evaluate(({ port, root }) => new Promise((done) => {
    const client = mqtt.connect(`wss://${location.hostname}:${port}/mqtt`, { username: "viewer",
      password: "viewer-secret", protocolVersion: 5, reconnectPeriod: 0 });
    const command = { format: 1, id: "forged-by-viewer", target: "node:b1", kind: "play", sound: "上课.mp3",
      issuedMs: Date.now(), expiry: 10 };
    client.on("connect", () => client.publish(`${root}/cmd/node/b1`, JSON.stringify(command), { qos: 1 },
      (error) => { client.end(); done(error ? error.code : 0); }));
    client.on("error", (error) => done(`error ${error.message}`));
  }), { port: JSON.parse(fs.readFileSync(`${campus}/broker/web/campus.json`)).wsPort, root });
  refused === 135 ? pass("a forged publish from the read-only session is refused by the broker")
    : fail(`the read-only publish: ${refused}`);
  await viewer.close();

  await sleep(Math.max(0, forgedAt + 5000 - Date.now())); // the forged command's seconds left quiet
  // A PC clock a minute slow or fast: its commands ring all the same, and the page says the offset
  // once the 主控 reports its time (at its answer to 停止).
  for (const [shiftMs, name, said] of [[-60000, "slow", "慢 60 秒"], [60000, "fast", "快 60 秒"]]) {
    const skewed = await skewedPage(browser, shiftMs);
    shown = skewed;
    await login(skewed, "duty", "duty-secret");
    await check(`a PC ${name} by a minute sees both buildings`, bothOnline(skewed), 15000);
    await skewed.selectOption("#target", "all");
    await skewed.click("button[data-kind=stop]");
    await check("its 停止 is answered by every building, not 已过期", async () => {
      const text = await answerText(skewed);
      return ["办公室", "实验楼", "教学楼"].every((n) => text.includes(`${n}: 已停止`));
    });
    await check(`and the page says its clock is ${said} the 主控's`, async () =>
      /本机时钟比主控(慢|快) (59|60|61) 秒/.test(await skewed.innerText("#clock-offset")) &&
      (await skewed.innerText("#clock-offset")).includes(said.slice(0, 1)), 35000);
    await skewed.selectOption("#target", "node:b1");
    await skewed.selectOption("#sound", "上课.mp3");
    mark(`skew-${name}`);
    await skewed.click("button[data-kind=play]");
    await check(`立即播放 from the PC ${name} by a minute rings on b1`, async () =>
      (await answerText(skewed)).includes("实验楼: 已响铃"));
    await sleep(5000); // the sound to its end
    await skewed.context().close();
  }
  shown = page;
  const right = await page.isHidden("#clock-offset");
  right ? pass("a PC on time is told nothing of its clock") : fail("the page on time speaks of its clock");

  // The broker restarted: the page connects again by itself, the buildings come back on its board
  // and answer what it sends.
  process.kill(Number(env.WEB_BROKER_PID), "SIGTERM");
  await check("the page sees the connection drop", async () => (await page.innerText("#connection")).includes("中断"));
  await check("and greys every building as 未知", async () => {
    const cards = await page.locator("#board .node").all();
    for (const one of cards)
      if (!(await one.getAttribute("class")).includes("unknown") || !(await one.locator(".badge").innerText()).includes("未知"))
        return false;
    return cards.length === 3;
  });
  const broker = spawn("mosquitto", ["-c", `${campus}/broker/mosquitto.conf`], { detached: true, stdio: "ignore" });
  fs.writeFileSync(`${campus}/broker.pid`, String(broker.pid));
  broker.unref();
  await check("and reconnects by itself", async () => (await page.innerText("#connection")) === "已连接", 15000);
  await check("both buildings are online on its board again", bothOnline(page));
  await page.selectOption("#target", "node:b2");
  await page.click("button[data-kind=stop]");
  await check("and answer it: 停止 to b2", async () => (await answerText(page)).includes("教学楼: 已停止"), 30000);

  // The plan's entry rings on both: its rows arrive in the ring log, its status in the plan.
  const entryMs = Number(env.WEB_ENTRY) * 1000;
  await check("the entry's ring-log rows appear as they arrive", async () => {
    const rows = await page.locator("#log tbody tr").allInnerTexts();
    return ["实验楼", "教学楼"].every((n) => rows.some((r) => r.includes(`\t${n}\t第一节上课\t上课.mp3\t已响铃`)));
  }, entryMs + 15000 - Date.now());
  await page.selectOption("#plan-node", "b2");
  await check("and b2's plan shows the entry 完成", async () =>
    (await page.locator("#plan tbody tr").first().innerText()).endsWith("完成"));
  // A page opened now shows the day's rows at once, 立即播放 among them.
  const late = await browser.newPage();
  shown = late;
  await login(late, "viewer", "viewer-secret");
  await check("a page opened later shows today's ring-log rows", async () => {
    const rows = await late.locator("#log tbody tr").allInnerTexts();
    return ["实验楼", "教学楼"].every((n) => rows.some((r) => r.includes(`\t${n}\t第一节上课\t上课.mp3\t已响铃`))) &&
      rows.some((r) => r.includes("\t实验楼\t立即播放\t上课.mp3\t"));
  });
  await late.close();
  shown = page;

  // The emergency begins once the entry's sound has ended, so that what sounds is the alarm.
  await new Promise((r) => setTimeout(r, Math.max(0, entryMs + 6000 - Date.now())));
  // A day without bells: no building's plan names a sound, and every sound is offered still.
  for (const node of ["office", "b1", "b2"])
    publishAs("office", `${root}/today/${node}`, { format: 1, node, date: "2026-12-26", decision: "今日: 星期六, 不响铃", entries: [] });
  await check("on a day without bells every sound is offered still", async () => {
    const offered = await page.locator("#sound option").allInnerTexts();
    return (await page.locator("#plan tbody tr").count()) === 0 && ["上课.mp3", "警报.wav", "课间操"].every((s) => offered.includes(s));
  });
  await page.selectOption("#target", "node:b1");
  await page.selectOption("#sound", "课间操");
  await page.click("#emergency-start");
  await check("a building alone is refused as the emergency's target", async () =>
    (await page.innerText("#action-message")).includes("须选 全部楼 或一个区域") && (await page.isHidden("#confirm")));
  await page.selectOption("#target", "zone:lab");
  await page.selectOption("#sound", "课间操");
  await page.click("#emergency-start");
  await check("a folder is refused as the emergency sound", async () =>
    (await page.innerText("#action-message")).includes("不能是文件夹") && (await page.isHidden("#confirm")));
  await page.selectOption("#sound", "警报.wav");
  await page.click("#emergency-start");
  // The 主控 is in no zone: an emergency for one zone is not its.
  await check("紧急广播 asks first, naming the buildings that will sound it", async () =>
    (await page.innerText("#confirm-text")).includes("区域 实验楼 紧急广播 警报.wav? 将播放的楼: 实验楼。"));
  mark("emergency");
  const emergencyAt = Date.now();
  await page.click("#confirm-yes");
  await check("紧急广播 on a zone is retained on the broker", () => {
    const e = JSON.parse(retained(`${root}/emergency`));
    return e.active === true && e.sound === "警报.wav" && e.zones.join() === "lab" && e.by === "duty";
  });
  await check("and the page shows it", async () => (await page.innerText("#emergency")).includes("警报.wav"));
  await check("b1's report is the answer, not b2's or the 主控's", async () => {
    const text = await answerText(page);
    return text.includes("实验楼: 紧急广播中") && !text.includes("办公室") && !text.includes("教学楼");
  });
  await check("its card says it sounds the emergency, b2's that it does not", async () =>
    /紧急广播\s+正在播放/.test(await card(page, "b1").innerText()) &&
    /紧急广播\s+—/.test(await card(page, "b2").innerText()));
  await page.selectOption("#plan-node", "b1");
  await page.setViewportSize({ width: 1280, height: 1100 });
  await page.screenshot({ path: `${env.WEB_ARTIFACTS}/web-console-1280.png`, fullPage: true });
  // A building with a long name (18 characters) on a phone: nothing sticks out, 在线 stays whole.
  const longName = "第二实验楼东侧多媒体阶梯教室甲乙丙丁";
  publishAs("office", `${root}/status/b9`, { format: 1, node: "b9", name: longName, zones: ["lab"], zoneNames: ["实验楼"], online: true });
  await check("a long building name is on the board", async () => (await card(page, "b9").innerText()).includes(longName));
  await page.setViewportSize({ width: 360, height: 740 });
  await page.screenshot({ path: `${env.WEB_ARTIFACTS}/web-console-360.png`, fullPage: true });
  if (env.WEB_SHOTS) await page.screenshot({ path: `${env.WEB_SHOTS}/web-console-360.png`, fullPage: true });
  const wide = await page.evaluate(() => document.documentElement.scrollWidth);
  wide <= 360 ? pass("nothing sticks out at 360 px") : fail(`the page is ${wide} px wide at 360 px`);
  const badges = await page.locator("#board .badge").evaluateAll((all) => all.map((b) => b.getClientRects().length));
  badges.length === 4 && badges.every((lines) => lines === 1) ? pass("each badge stays on one line at 360 px")
    : fail(`badge line boxes at 360 px: ${badges}`);
  publishAs("office", `${root}/status/b9`, "");
  await page.setViewportSize({ width: 1280, height: 1100 });
  // A few loops of the alarm to judge its gaps by.
  await new Promise((r) => setTimeout(r, Math.max(0, emergencyAt + 5000 - Date.now())));
  await page.click("#emergency-clear");
  await check("解除 asks first", async () => (await page.innerText("#confirm-text")).includes("解除"));
  mark("cleared");
  await page.click("#confirm-yes");
  await check("解除 clears it on the broker", () => JSON.parse(retained(`${root}/emergency`)).active === false);
  await check("and b1 reports it cleared", async () => (await answerText(page)).includes("实验楼: 已解除"));
  await check("after 解除 the answers kept: the emergency's still 紧急广播中, 立即播放's 已响铃", async () => {
    const items = await page.locator("#results li").allInnerTexts();
    const emergency = items.find((i) => i.includes("紧急广播 警报.wav"));
    const played = items.find((i) => i.includes("立即播放 上课.mp3"));
    return emergency.includes("实验楼: 紧急广播中") && played.includes("实验楼: 已响铃");
  }, 14000);

  const admin = await browser.newPage();
  shown = admin;
  await login(admin, "it", "duty-secret");
  await check("the 管理员 account may act", async () =>
    (await admin.innerText("#who")) === "it · 管理员 (可操作)" && (await admin.isVisible("#actions")));

  await browser.close();
}

run(main);
