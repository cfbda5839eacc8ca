# Writes the benchmark inputs into bench/inputs: a 30 KB GBK chapter page, a 200 KB UTF-8 page
# full of script and style blocks, and a 10,000-row UTF-8 catalogue. Run from bench/.
import random

random.seed(7)
text = open("../demo/make-site.py", encoding="utf-8").read()
hanzi = [c for c in text if "\u4e00" <= c <= "\u9fff"]
punct = "，。；：？！"

def sentence(n):
    return "".join(random.choice(hanzi) for _ in range(n)) + random.choice(punct)

def paragraph():
    return "".join(sentence(random.randint(6, 18)) for _ in range(random.randint(3, 7)))

def chapter_page(charset, size, noise=False):
    head = (f'<!DOCTYPE html>\r\n<html><head><meta http-equiv="Content-Type" '
            f'content="text/html; charset={charset}"><title>第一百章 试炼</title>\r\n'
            '<link rel="stylesheet" href="/s.css"></head><body>\r\n'
            '<div class="nav"><a href="/">首页</a> &gt; <a href="/b/">目录</a></div>\r\n'
            '<h1>第一百章 试炼</h1><div id="content">\r\n')
    tail = '</div>\r\n<div class="foot">Copyright &copy; 示例书站</div></body></html>\r\n'
    body = []
    length = len((head + tail).encode(charset))
    while length < size:
        if noise and random.random() < 0.25:
            piece = random.choice([
                '<script type="text/javascript">var ad = document.createElement("div");'
                ' ad.innerHTML = "<b>推荐</b>"; if (a < b && c > d) { show(ad); }</script>\r\n',
                '<style>#content p { line-height: 1.8; } .ad > span { color: red; }</style>\r\n',
                '<span class="hide">' + sentence(8) + '</span>\r\n'])
        else:
            piece = "&nbsp;&nbsp;&nbsp;&nbsp;" + paragraph() + "<br /><br />\r\n"
        body.append(piece)
        length += len(piece.encode(charset))
    return (head + "".join(body) + tail).encode(charset)

open("inputs/chapter-30k-gbk.html", "wb").write(chapter_page("gbk", 30 * 1024))
open("inputs/page-200k-utf8.html", "wb").write(chapter_page("utf-8", 200 * 1024, noise=True))

rows = []
for i in range(1, 10001):
    title = f"第{i}章 " + "".join(random.choice(hanzi) for _ in range(random.randint(2, 6)))
    rows.append(f'<dd><a href="/book/1234/{1000000 + i}.html" title="{title}">{title}</a></dd>')
catalogue = ('<!DOCTYPE html>\r\n<html><head><meta charset="utf-8"><title>目录</title></head><body>'
             '<div id="list"><dl>\r\n' + "\r\n".join(rows) + "\r\n</dl></div></body></html>\r\n")
open("inputs/catalogue-10k-utf8.html", "w", encoding="utf-8", newline="").write(catalogue)
