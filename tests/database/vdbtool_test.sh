#!/bin/sh
# The database tool from a script, as users call it: create, import, dump (CSV and JSON,
# round trip), index, info, check and repair of damaged files, passwords, exit codes.
#   vdbtool_test.sh WINE_RUN VDBTOOL_EXE
set -u
WINE_RUN=$1
TOOL=$2
DIR=$(mktemp -d /tmp/vdbtool_test.XXXXXX)
trap 'rm -rf "$DIR"' EXIT
cd "$DIR" || exit 1
FAILED=0
# A copy of its own: a build that relinks the tool meanwhile does not change it under the test.
cp "$TOOL" "$DIR/vdbtool.exe" && TOOL="$DIR/vdbtool.exe"

tool() { "$WINE_RUN" "$TOOL" "$@"; }
fail() { echo "FAIL: $*"; FAILED=$((FAILED + 1)); }
# expect CODE COMMAND...: runs the tool, keeps its output in out.txt, checks the exit code.
expect() {
  want=$1; shift
  tool "$@" >out.txt 2>err.txt
  got=$?
  [ "$got" = "$want" ] || { fail "vdbtool $* exited $got, not $want"; cat out.txt err.txt; }
}
contains() { grep -q -- "$2" "$1" || { fail "$1 lacks '$2'"; cat "$1"; }; }
# poke FILE OFFSET HEXBYTES: overwrites bytes in place.
poke() { python3 -c "import sys; f = open(sys.argv[1], 'r+b'); f.seek(int(sys.argv[2])); f.write(bytes.fromhex(sys.argv[3]))" "$1" "$2" "$3"; }

# Usage errors: 2, with the usage text.
expect 0 --help; contains out.txt "exit codes"
expect 2
expect 2 frobnicate x.vdb
expect 2 info
expect 2 info x --bogus
expect 2 dump x --format xml
expect 2 create bad 1st:int; contains err.txt "\-18"
expect 2 create bad a:text; contains err.txt "needs its size"
expect 2 create bad a:nosuchtype
expect 2 info missing; contains err.txt "\-3"
printf 'this is not a database, just a file of text that is long enough' > junk.VDB
expect 2 check junk; contains err.txt "\-22"

# Create and import: every type, quoted cells with commas and line breaks, GBK texts.
expect 0 create 客户 编号:int 名称:text:12 金额:double 短:short 字节:byte 长:long 单:float 备注:memo 照片:bin 生日:datetime 有效:bool 子:subptr
cat > rows.csv <<'EOF'
编号,名称,金额,短,字节,长,单,备注,照片,生日,有效,子,#deleted
1,张三,12.5,-7,255,-9000000000,0.25,"多行
备注, 有逗号 ""引号""",00ff10,2020-01-02,true,4294967295,0
2,李四,-3,0,0,0,0,,,2021-05-06 07:08:09,false,0,1
3,"Wang, Wu",1e300,32767,1,1,1,短,,,1,1,0
EOF
expect 0 import 客户 rows.csv; contains out.txt "imported 3 records"
expect 0 dump 客户
cat > want.csv <<'EOF'
#serial,#deleted,编号,名称,金额,短,字节,长,单,备注,照片,生日,有效,子
1,0,1,张三,12.5,-7,255,-9000000000,0.25,"多行
备注, 有逗号 ""引号""",00ff10,2020-01-02,true,4294967295
2,1,2,李四,-3,0,0,0,0,,,2021-05-06 07:08:09,false,0
3,0,3,"Wang, Wu",1.0000000000000001e+300,32767,1,1,1,短,,1899-12-30,true,1
EOF
tr -d '\r' <out.txt >got.csv
diff got.csv want.csv >/dev/null || { fail "dump differs"; diff got.csv want.csv; }

# A bad row adds nothing; the message names the line and the field.
printf '编号,名称\n4,ok\nx,bad\n' > bad.csv
expect 2 import 客户 bad.csv; contains err.txt "line 3"
printf '编号,名称\n4,这个名称太长了超过十二字节\n' > long.csv
expect 2 import 客户 long.csv; contains err.txt "the field holds 12"
printf '无此字段\n1\n' > nofield.csv
expect 2 import 客户 nofield.csv; contains err.txt "no such field"
expect 0 info 客户; contains out.txt "records    3 (1 deleted), next serial 4"

# Round trip: the dump imported into a copy dumps the same.
expect 0 create 副本 编号:int 名称:text:12 金额:double 短:short 字节:byte 长:long 单:float 备注:memo 照片:bin 生日:datetime 有效:bool 子:subptr
cp got.csv again.csv
expect 0 import 副本 again.csv
expect 0 dump 副本
tr -d '\r' <out.txt >again_dump.csv
diff again_dump.csv want.csv >/dev/null || { fail "round trip differs"; diff again_dump.csv want.csv; }
expect 0 dump 客户 --format json
python3 -c "import json,sys; d=json.load(open('out.txt',encoding='utf-8')); r=d['records']; assert len(r)==3 and r[0]['名称']=='张三' and r[1]['#deleted'] is True and r[0]['照片']=='00ff10', r" \
  || fail "JSON dump"

# Indexes: made, listed, checked; dump in index order.
expect 0 index 客户 按编号 编号
expect 0 index 客户 按名称 名称 --flags 1
expect 2 index 客户 坏 备注; contains err.txt "\-42"
expect 0 info 客户 --index 按编号 --index 按名称; contains out.txt "按名称 (名称)"
expect 0 check 客户 --index 按编号 --index 按名称; contains out.txt "^ok: 3 records"
expect 0 dump 客户 --index 按名称
head -2 out.txt | tail -1 | grep -q "^3,0,3,\"Wang" || fail "index order: $(head -2 out.txt)"

# Damage, found by check (exit 1, each fault with its place) and mended by repair.
cp 客户.VDB keep.VDB; cp 客户.VDT keep.VDT; cp 按编号.VNX keep.VNX
truncate -s -5 客户.VDB
expect 1 check 客户; contains out.txt "record count 3, but the file holds 2 whole records"
expect 0 repair 客户; contains out.txt "^ok: 2 records"
expect 0 check 客户
cp keep.VDB 客户.VDB; cp keep.VDT 客户.VDT
poke 客户.VDT 20 02000000
expect 1 check 客户; contains out.txt "free count 2, but the list holds 0 blocks"
expect 0 repair 客户
expect 0 check 客户
# Counts in the auxiliary header beyond repair by the engine's open: taken from the file.
poke 客户.VDT 16 0000000000000000ffffffff
expect 1 check 客户; contains out.txt "counts out of range"
expect 0 repair 客户; contains out.txt "auxiliary header rewritten"
expect 0 check 客户
expect 0 dump 客户; contains out.txt "有逗号"
# A chain link pointing past the file: the value is cleared, the rest kept.
poke 客户.VDT 516 63000000
expect 1 check 客户; contains out.txt "record 1 field 备注: link to block 99"
expect 0 repair 客户; contains out.txt "damaged value cleared"
expect 0 check 客户
# Garbage over the index's root page: rebuilt.
poke 按编号.VNX 512 0100ffff
expect 1 check 客户 --index 按编号; contains out.txt "index 按编号"
expect 0 repair 客户 --index 按编号; contains out.txt "index 按编号: rebuilt"
expect 0 check 客户 --index 按编号
# An index header that no longer opens is made anew from what it names.
poke 按编号.VNX 24 00000000
expect 1 check 客户 --index 按编号; contains out.txt "cannot be used"
expect 0 repair 客户 --index 按编号; contains out.txt "made anew"
expect 0 check 客户 --index 按编号

# Passwords: the file is protected; wrong or missing passwords are refused.
expect 0 create 密 名:text:8 备:memo --password 芝麻
printf '名,备\n甲,秘密备注\n' > s.csv
expect 2 import 密 s.csv; contains err.txt "\-78"
expect 0 import 密 s.csv --password 芝麻
expect 2 dump 密 --password 错
expect 0 dump 密 --password 芝麻; contains out.txt "秘密备注"
head -c 4 密.VDB | grep -q WCDB || fail "not protected on disk"
grep -qF "$(printf '秘密备注' | iconv -f UTF-8 -t GBK)" 密.VDT && fail "memo in plain text on disk"
expect 0 check 密 --password 芝麻

[ $FAILED = 0 ] && echo "vdbtool: all checks passed" && exit 0
echo "vdbtool: $FAILED checks failed"
exit 1
