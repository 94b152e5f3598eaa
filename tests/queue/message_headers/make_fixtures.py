#!/usr/bin/env python3
"""Writes the message-header fixtures: each NAME.eml a message whose header
Python's email package wrote, each NAME.expected its From, To, Cc, Subject and
Date as Python's own decoder reads them, one line each.

Run from anywhere; the files are written next to this script. The tests read
the files only, never this script."""

import pathlib
import re
from email import policy
from email.charset import BASE64, QP, Charset
from email.header import Header, decode_header
from email.message import EmailMessage, Message
from email.parser import Parser
from email.utils import formataddr

HERE = pathlib.Path(__file__).resolve().parent
DATE = "Tue, 1 Jul 2003 10:52:37 +0200"
FIELDS = ("From", "To", "Cc", "Subject", "Date")

# Name, MIME charset, header encoding, line end, subject, sender's name,
# recipients' names.
CHARSETS = [
    ("utf-8-b", "utf-8", BASE64, "\r\n",
     "Grüße aus München: Übergrößenträger, 東京タワー und ✓ Häkchen für alle",
     "Jürgen Müller", ["Zoë Ångström", "Ŝtefan Ĉu"]),
    ("utf-8-q", "utf-8", QP, "\n",
     "Ærøskøbing — «Bonjour» ça va? 100 % sûr", "Ærø Ø", ["Ça Va"]),
    ("us-ascii-q", "us-ascii", QP, "\r\n",
     "Plain words in an encoded word_with=signs?", "Ann Example", ["Bob Example"]),
    ("iso-8859-1", "iso-8859-1", QP, "\r\n",
     "Café crème brûlée à la française, s'il vous plaît", "Renée Dubé", ["Zoë Noël"]),
    ("iso-8859-2", "iso-8859-2", BASE64, "\r\n",
     "Zażółć gęślą jaźń; Příliš žluťoučký kůň", "Łukasz Żółw", ["Jiří Dvořák"]),
    ("iso-8859-3", "iso-8859-3", QP, "\r\n",
     "Ĉu vi ŝatas ĝin? Ħamrun, Għawdex", "Ĝoĉjo Ŝanĝo", ["Ħanna Ċirkewwa"]),
    ("iso-8859-4", "iso-8859-4", BASE64, "\r\n",
     "Ķīselis, ļoti garšīgs ēdiens; Ŗ ŧ ĸ", "Ķēniņš Āris", ["Ģirts Ļaudis"]),
    ("iso-8859-5", "iso-8859-5", BASE64, "\r\n",
     "Привет из Москвы, дорогой друг", "Иван Петров", ["Ольга Ёлкина"]),
    ("iso-8859-6", "iso-8859-6", BASE64, "\r\n",
     "مرحبا بالعالم، رسالة جديدة", "أحمد", ["سارة"]),
    ("iso-8859-7", "iso-8859-7", QP, "\r\n",
     "Καλημέρα κόσμε, ένα νέο μήνυμα", "Νίκος Παπαδόπουλος", ["Ελένη"]),
    ("iso-8859-8", "iso-8859-8", BASE64, "\r\n",
     "שלום עולם, הודעה חדשה", "דוד לוי", ["שרה"]),
    ("iso-8859-9", "iso-8859-9", QP, "\r\n",
     "İstanbul'dan selamlar: ğüşıöç ĞÜŞİÖÇ", "Ayşe Yılmaz", ["Çağlar Öztürk"]),
    ("iso-8859-10", "iso-8859-10", QP, "\r\n",
     "Þórður í Ísafirði; Ŋ ŧ ĸ Ā ē", "Þóra Ŋ", ["Āsa Ē"]),
    ("iso-8859-11", "iso-8859-11", BASE64, "\r\n",
     "สวัสดีครับ ข้อความใหม่", "สมชาย", ["สมหญิง"]),
    ("iso-8859-13", "iso-8859-13", QP, "\r\n",
     "Lietuvių kalba: ąčęėįšųūž; Łódź", "Jonas Šimkūnas", ["Ēriks Ļaudis"]),
    ("iso-8859-14", "iso-8859-14", QP, "\r\n",
     "Croeso i Gymru: Ŵ ŷ ḃ ẁ ẃ ẅ Ỳ", "Ŵil Ŷ", ["Ẁyn"]),
    ("iso-8859-15", "iso-8859-15", QP, "\r\n",
     "Prix: 100 € - œuvre, Ÿ, Š, ž", "Œdipe Šéf", ["Žoë"]),
    ("windows-1250", "windows-1250", QP, "\r\n",
     "Příliš žluťoučký kůň „úpěl“ ďábelské ódy", "Tomáš Čech", ["Ľubica Ťažká"]),
    ("windows-1251", "windows-1251", BASE64, "\r\n",
     "Съешь же ещё этих мягких булок — «да»", "Пётр Щукин", ["Юлия"]),
    ("windows-1252", "windows-1252", QP, "\n",
     "“Smart quotes” – naïve café € ™", "François “Frank” Ñoño", ["Øyvind"]),
    ("windows-1253", "windows-1253", BASE64, "\r\n",
     "Ελληνικά: Καλημέρα σας ‘φίλε’", "Γιώργος", ["Μαρία"]),
    ("windows-1254", "windows-1254", QP, "\r\n",
     "Türkçe: Iğdır, Şişli, Çağlayan", "Şükrü Ağa", ["İpek"]),
    ("windows-1255", "windows-1255", BASE64, "\r\n",
     "עברית: שלום ₪ עולם", "משה", ["רחל"]),
    ("windows-1256", "windows-1256", BASE64, "\r\n",
     "العربية: مرحبا بكم", "محمد", ["فاطمة"]),
    ("windows-1257", "windows-1257", QP, "\r\n",
     "Lietuvių: ąčęėįšųūž, Latviešu: āēīūņļķģ", "Rūta Ķēniņa", ["Ąžuolas"]),
    ("windows-1258", "windows-1258", BASE64, "\r\n",
     "Đơn Ăn Ưa Âm Êm ₫", "Đông", ["Ơn"]),
    ("koi8-r", "koi8-r", BASE64, "\r\n",
     "Съешь же ещё этих мягких французских булок, да выпей чаю", "Сергей", ["Анна"]),
    ("iso-2022-jp", "iso-2022-jp", BASE64, "\r\n",
     "日本語の件名です（テスト）、長い件名は次の行に続きます", "山田太郎", ["鈴木花子"]),
    ("gb2312", "gb2312", BASE64, "\r\n",
     "中文邮件主题：你好，世界！这是一封测试邮件", "张伟", ["王芳"]),
    ("gbk", "gbk", BASE64, "\r\n",
     "GBK 字符：喆 镕 與 繁體字", "朱镕", ["陶喆"]),
    ("big5", "big5", BASE64, "\r\n",
     "繁體中文郵件：你好，世界", "陳大文", ["林小美"]),
    ("shift_jis", "shift_jis", BASE64, "\r\n",
     "日本語のメール ｶﾀｶﾅ も", "佐藤", ["ﾔﾏﾀﾞ"]),
    ("euc-kr", "euc-kr", BASE64, "\r\n",
     "한국어 메일 제목입니다", "김철수", ["이영희"]),
    ("euc-jp", "euc-jp", QP, "\r\n",
     "日本語の件名（ＥＵＣ）", "高橋", ["中村"]),
]


def charset(name, encoding):
    """A charset that writes encoded words in itself, with the given encoding."""
    c = Charset(name)
    c.header_encoding = encoding
    c.output_charset = name
    c.output_codec = name  # the label Python writes: never its own codec names
    return c


def addresses(names, cs, domain):
    return [formataddr((n, f"user{i}@{domain}"), charset=cs) for i, n in enumerate(names)]


def charset_message(case):
    name, mime, encoding, _, subject, sender, recipients = case
    cs = charset(mime, encoding)
    msg = Message()
    msg["From"] = formataddr((sender, "sender@example.org"), charset=cs)
    msg["To"] = ", ".join(addresses(recipients, cs, "example.net") + ["plain@example.com"])
    msg["Subject"] = Header(subject, cs)
    msg["Date"] = DATE
    msg["Message-ID"] = f"<{name}@example.org>"
    msg.set_payload("Body.\n")
    return msg


def mixed_message():
    """Plain text and encoded words in several charsets side by side, several To
    fields, a long Cc list folded at its commas, a quoted name with a comma."""
    msg = Message()
    subject = Header("Re: [ticket 42]", "us-ascii")
    subject.append(" Grüße,", charset("iso-8859-1", QP))
    subject.append(" и привет", charset("koi8-r", BASE64))
    subject.append(" and 日本", charset("utf-8", BASE64))
    subject.append("done", "us-ascii")
    msg["From"] = '"Doe, John" <john.doe@example.com>'
    msg["To"] = ", ".join(addresses(["Zoë", "Renée"], charset("utf-8", QP), "example.fr"))
    msg["To"] = formataddr(("Ελένη", "eleni@example.gr"), charset=charset("iso-8859-7", BASE64))
    names = ["Ann", "Bob Smith", "Carol Jones", "Dave Brown", "Eve Adams", "Frank Wright"]
    msg["Cc"] = ", ".join(formataddr((n, f"{n.split()[0].lower()}@example.com")) for n in names)
    msg["Subject"] = subject
    msg["Date"] = DATE
    return msg


def long_message():
    """A subject long enough to take four encoded words on four folded lines."""
    msg = Message()
    msg["From"] = "sender@example.org"
    msg["To"] = "Undisclosed recipients:;"
    msg["Subject"] = Header("Übergrößenträger " * 12 + "✓", charset("utf-8", QP))
    msg["Date"] = DATE
    return msg


def raw_utf8_message():
    """Header text in UTF-8 itself, as an SMTPUTF8 message carries it."""
    msg = EmailMessage(policy=policy.SMTPUTF8)
    msg["From"] = "Jürgen Müller <jürgen@例え.jp>"
    msg["To"] = "Zoë <zoe@example.net>, 山田 <yamada@example.jp>"
    msg["Subject"] = "Grüße in UTF-8, ohne Kodierung"
    msg["Date"] = DATE
    msg.set_content("Body.\n")
    return msg


def unfold(value):
    return re.sub(r"[ \t]*\r?\n[ \t]*", " ", value).strip()


def decoded(value):
    parts = decode_header(unfold(value))
    if isinstance(parts[0][0], str):  # no encoded word in it
        return parts[0][0]
    return "".join(text.decode(cs or "ascii") for text, cs in parts)


def expected(data):
    """The fields as Python's decoder reads them: the first From, Subject and Date,
    every To and every Cc joined."""
    msg = Parser(policy=policy.compat32).parsestr(data.decode("utf-8"))
    lines = []
    for field in FIELDS:
        values = [decoded(v) for v in msg.get_all(field, [])]
        text = ", ".join(values) if field in ("To", "Cc") else (values[:1] or [""])[0]
        lines.append(f"{field}: {text}\n")
    return "".join(lines)


def write(name, msg, linesep):
    data = msg.as_bytes(policy=msg.policy.clone(linesep=linesep))
    (HERE / f"{name}.eml").write_bytes(data)
    (HERE / f"{name}.expected").write_text(expected(data), encoding="utf-8", newline="\n")


def main():
    for case in CHARSETS:
        write(case[0], charset_message(case), case[3])
    write("mixed", mixed_message(), "\r\n")
    write("long-subject", long_message(), "\r\n")
    write("raw-utf-8", raw_utf8_message(), "\n")


if __name__ == "__main__":
    main()
