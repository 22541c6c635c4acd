-- The default database of the program folder: the plan of every kind of day, the exam
-- broadcast table (filled by the settings dialog), the exam settings and the remembered day
-- type and term. The build runs this once into jbase.mdb when the program folder has none.
-- Times are HH:MM or HH:MM:SS; a sound is a file in voic/ or a folder in it (voic\课间操).

-- 春季 星期一
CREATE TABLE cjtime (序号 TEXT, 日期 TEXT, 时间 TEXT, 事件 TEXT, 声音 TEXT, 状态 TEXT, 备注 TEXT);
INSERT INTO cjtime VALUES
    ('1', '星期一', '06:30', '起床', '起床.mp3', '待完', '住校生'),
    ('2', '星期一', '07:15', '升旗', '升旗.mp3', '待完', '升旗仪式,全体师生到操场'),
    ('3', '星期一', '07:40', '早读', '早读.mp3', '待完', ''),
    ('4', '星期一', '07:57:30', '预备', '预备.mp3', '待完', '预备铃'),
    ('5', '星期一', '08:00', '第一节上课', '上课.mp3', '待完', ''),
    ('6', '星期一', '08:40', '第一节下课', '下课.mp3', '待完', ''),
    ('7', '星期一', '08:50', '第二节上课', '上课.mp3', '待完', ''),
    ('8', '星期一', '09:30', '第二节下课', '下课.mp3', '待完', ''),
    ('9', '星期一', '09:35', '课间操', 'voic\课间操', '待完', '广播体操,播放文件夹'),
    ('10', '星期一', '10:00', '第三节上课', '上课.mp3', '待完', ''),
    ('11', '星期一', '10:40', '第三节下课', '下课.mp3', '待完', ''),
    ('12', '星期一', '10:45', '眼保健操', '眼保健操.mp3', '待完', ''),
    ('13', '星期一', '10:55', '第四节上课', '上课.mp3', '待完', ''),
    ('14', '星期一', '11:35', '第四节下课', '下课.mp3', '待完', '午餐'),
    ('15', '星期一', '12:20', '午休', '午休.mp3', '待完', '夏季作息'),
    ('16', '星期一', '14:00', '午休结束', '起床.mp3', '待完', '住校生'),
    ('17', '星期一', '14:27:30', '预备', '预备.mp3', '待完', '预备铃'),
    ('18', '星期一', '14:30', '第五节上课', '上课.mp3', '待完', ''),
    ('19', '星期一', '15:10', '第五节下课', '下课.mp3', '待完', ''),
    ('20', '星期一', '15:15', '眼保健操', '眼保健操.mp3', '待完', ''),
    ('21', '星期一', '15:20', '第六节上课', '上课.mp3', '待完', ''),
    ('22', '星期一', '16:00', '第六节下课', '下课.mp3', '待完', ''),
    ('23', '星期一', '16:10', '第七节上课', '上课.mp3', '待完', '班会'),
    ('24', '星期一', '16:50', '放学', '放学.mp3', '待完', '第七节下课'),
    ('25', '星期一', '17:40', '晚餐', '就餐.mp3', '待完', ''),
    ('26', '星期一', '19:00', '晚自习', '晚自习.mp3', '待完', '第一节'),
    ('27', '星期一', '19:50', '晚自习下课', '下课.mp3', '待完', ''),
    ('28', '星期一', '20:00', '晚自习上课', '上课.mp3', '待完', '第二节'),
    ('29', '星期一', '20:50', '晚自习结束', '下课.mp3', '待完', ''),
    ('30', '星期一', '21:30', '就寝', '就寝.mp3', '待完', '熄灯');

-- 春季 星期二至星期四
CREATE TABLE zccjtime (序号 TEXT, 日期 TEXT, 时间 TEXT, 事件 TEXT, 声音 TEXT, 状态 TEXT, 备注 TEXT);
-- 春季 星期一 without 升旗, 早读 at 07:20 and no 班会 (rows shared with another day are copied from
-- it; 序号 + 0 compares numbers, not text).
INSERT INTO zccjtime SELECT 序号, '星期二至四', 时间, 事件, 声音, 状态, 备注 FROM cjtime WHERE 序号 + 0 = 1 ORDER BY rowid;
INSERT INTO zccjtime VALUES
    ('2', '星期二至四', '07:20', '早读', '早读.mp3', '待完', '');
INSERT INTO zccjtime SELECT 序号 - 1, '星期二至四', 时间, 事件, 声音, 状态, 备注 FROM cjtime WHERE 序号 + 0 BETWEEN 4 AND 22 ORDER BY rowid;
INSERT INTO zccjtime VALUES
    ('22', '星期二至四', '16:10', '第七节上课', '上课.mp3', '待完', '');
INSERT INTO zccjtime SELECT 序号 - 1, '星期二至四', 时间, 事件, 声音, 状态, 备注 FROM cjtime WHERE 序号 + 0 BETWEEN 24 AND 30 ORDER BY rowid;

-- 秋季 星期一
CREATE TABLE qjtime (序号 TEXT, 日期 TEXT, 时间 TEXT, 事件 TEXT, 声音 TEXT, 状态 TEXT, 备注 TEXT);
-- The morning as 春季 星期一.
INSERT INTO qjtime SELECT 序号, '星期一', 时间, 事件, 声音, 状态, 备注 FROM cjtime WHERE 序号 + 0 BETWEEN 1 AND 14 ORDER BY rowid;
INSERT INTO qjtime VALUES
    ('15', '星期一', '12:20', '午休', '午休.mp3', '待完', '冬季作息'),
    ('16', '星期一', '13:40', '午休结束', '起床.mp3', '待完', '住校生'),
    ('17', '星期一', '13:57:30', '预备', '预备.mp3', '待完', '预备铃'),
    ('18', '星期一', '14:00', '第五节上课', '上课.mp3', '待完', ''),
    ('19', '星期一', '14:40', '第五节下课', '下课.mp3', '待完', ''),
    ('20', '星期一', '14:45', '眼保健操', '眼保健操.mp3', '待完', ''),
    ('21', '星期一', '14:50', '第六节上课', '上课.mp3', '待完', ''),
    ('22', '星期一', '15:30', '第六节下课', '下课.mp3', '待完', ''),
    ('23', '星期一', '15:40', '第七节上课', '上课.mp3', '待完', '班会'),
    ('24', '星期一', '16:20', '放学', '放学.mp3', '待完', '第七节下课'),
    ('25', '星期一', '17:20', '晚餐', '就餐.mp3', '待完', ''),
    ('26', '星期一', '18:40', '晚自习', '晚自习.mp3', '待完', '第一节'),
    ('27', '星期一', '19:30', '晚自习下课', '下课.mp3', '待完', ''),
    ('28', '星期一', '19:40', '晚自习上课', '上课.mp3', '待完', '第二节'),
    ('29', '星期一', '20:30', '晚自习结束', '下课.mp3', '待完', ''),
    ('30', '星期一', '21:10', '就寝', '就寝.mp3', '待完', '熄灯');

-- 秋季 星期二至星期四
CREATE TABLE zcqjtime (序号 TEXT, 日期 TEXT, 时间 TEXT, 事件 TEXT, 声音 TEXT, 状态 TEXT, 备注 TEXT);
-- The morning as 春季 星期二至四; then 秋季 星期一 without 升旗 and 班会.
INSERT INTO zcqjtime SELECT 序号, '星期二至四', 时间, 事件, 声音, 状态, 备注 FROM zccjtime WHERE 序号 + 0 BETWEEN 1 AND 13 ORDER BY rowid;
INSERT INTO zcqjtime SELECT 序号 - 1, '星期二至四', 时间, 事件, 声音, 状态, 备注 FROM qjtime WHERE 序号 + 0 BETWEEN 15 AND 22 ORDER BY rowid;
INSERT INTO zcqjtime VALUES
    ('22', '星期二至四', '15:40', '第七节上课', '上课.mp3', '待完', '');
INSERT INTO zcqjtime SELECT 序号 - 1, '星期二至四', 时间, 事件, 声音, 状态, 备注 FROM qjtime WHERE 序号 + 0 BETWEEN 24 AND 30 ORDER BY rowid;

-- 星期五 (春秋两季)
CREATE TABLE fridtime (序号 TEXT, 日期 TEXT, 时间 TEXT, 事件 TEXT, 声音 TEXT, 状态 TEXT, 备注 TEXT);
-- 秋季 星期二至四 with a 午休 that is not marked 冬季作息, and 放学 after the sixth lesson.
INSERT INTO fridtime SELECT 序号, '星期五', 时间, 事件, 声音, 状态, 备注 FROM zcqjtime WHERE 序号 + 0 BETWEEN 1 AND 13 ORDER BY rowid;
INSERT INTO fridtime VALUES
    ('14', '星期五', '12:20', '午休', '午休.mp3', '待完', '');
INSERT INTO fridtime SELECT 序号, '星期五', 时间, 事件, 声音, 状态, 备注 FROM zcqjtime WHERE 序号 + 0 BETWEEN 15 AND 20 ORDER BY rowid;
INSERT INTO fridtime VALUES
    ('21', '星期五', '15:30', '放学', '放学.mp3', '待完', '第六节下课,周末离校');

-- 星期天 住校生返校
CREATE TABLE sundaytime (序号 TEXT, 日期 TEXT, 时间 TEXT, 事件 TEXT, 声音 TEXT, 状态 TEXT, 备注 TEXT);
INSERT INTO sundaytime VALUES
    ('1', '星期天', '17:30', '返校', '预备.mp3', '待完', '住校生返校'),
    ('2', '星期天', '18:30', '晚自习', '晚自习.mp3', '待完', '第一节'),
    ('3', '星期天', '19:20', '晚自习下课', '下课.mp3', '待完', ''),
    ('4', '星期天', '19:30', '晚自习上课', '上课.mp3', '待完', '第二节'),
    ('5', '星期天', '20:20', '晚自习结束', '下课.mp3', '待完', ''),
    ('6', '星期天', '21:00', '就寝', '就寝.mp3', '待完', '熄灯');

-- 春季考试日的固定作息 (考试广播另见 sjtime)
CREATE TABLE kscjtime (序号 TEXT, 日期 TEXT, 时间 TEXT, 事件 TEXT, 声音 TEXT, 状态 TEXT, 备注 TEXT);
INSERT INTO kscjtime VALUES
    ('1', '考试日', '06:20', '起床', '起床.mp3', '待完', ''),
    ('2', '考试日', '06:50', '早餐', '就餐.mp3', '待完', ''),
    ('3', '考试日', '12:10', '午餐', '就餐.mp3', '待完', ''),
    ('4', '考试日', '12:40', '午休', '午休.mp3', '待完', ''),
    ('5', '考试日', '14:00', '午休结束', '起床.mp3', '待完', ''),
    ('6', '考试日', '17:40', '晚餐', '就餐.mp3', '待完', ''),
    ('7', '考试日', '19:00', '晚自习', '晚自习.mp3', '待完', '考前复习'),
    ('8', '考试日', '20:30', '晚自习结束', '下课.mp3', '待完', ''),
    ('9', '考试日', '21:20', '就寝', '就寝.mp3', '待完', '熄灯');

-- 秋季考试日的固定作息 (考试广播另见 sjtime)
CREATE TABLE ksqjtime (序号 TEXT, 日期 TEXT, 时间 TEXT, 事件 TEXT, 声音 TEXT, 状态 TEXT, 备注 TEXT);
INSERT INTO ksqjtime VALUES
    ('1', '考试日', '06:30', '起床', '起床.mp3', '待完', ''),
    ('2', '考试日', '07:00', '早餐', '就餐.mp3', '待完', ''),
    ('3', '考试日', '11:50', '午餐', '就餐.mp3', '待完', ''),
    ('4', '考试日', '12:20', '午休', '午休.mp3', '待完', ''),
    ('5', '考试日', '13:30', '午休结束', '起床.mp3', '待完', ''),
    ('6', '考试日', '17:20', '晚餐', '就餐.mp3', '待完', ''),
    ('7', '考试日', '18:40', '晚自习', '晚自习.mp3', '待完', '考前复习'),
    ('8', '考试日', '20:10', '晚自习结束', '下课.mp3', '待完', ''),
    ('9', '考试日', '21:00', '就寝', '就寝.mp3', '待完', '熄灯');

-- 考试广播: the exam announcements of every exam date, generated by the settings dialog.
CREATE TABLE sjtime (序号 TEXT, 日期 TEXT, 时间 TEXT, 事件 TEXT, 声音 TEXT, 状态 TEXT, 备注 TEXT);

-- 日常 (1) or 考试 (2).
CREATE TABLE lxtime (类型 TEXT);
INSERT INTO lxtime VALUES ('1');

-- 春季 (1) or 秋季 (2).
CREATE TABLE jjtime (季节 TEXT);
INSERT INTO jjtime VALUES ('1');

-- Exam procedure in minutes: listening test per grade, the four steps before answering, the
-- countdown before the end.
CREATE TABLE settable (初一听力 TEXT, 初二听力 TEXT, 初三听力 TEXT, 进场到发卡 TEXT, 发卡到开袋 TEXT,
                       开袋到发卷 TEXT, 发卷到答题 TEXT, 倒计时 TEXT);
INSERT INTO settable VALUES ('10', '10', '10', '3', '2', '3', '5', '15');

-- The school calendar: holidays, make-up days, exam weeks and terms by date (empty at first).
CREATE TABLE calendar (开始日期 TEXT, 结束日期 TEXT, 类型 TEXT, 参数 TEXT, 备注 TEXT);
