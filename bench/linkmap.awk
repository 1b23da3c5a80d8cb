# Sums a GNU ld link map by where each input section came from: prints
# "bytes<TAB>output section<TAB>library<TAB>member" for every contributor,
# padding included (as "(padding)"). Sections the linker discarded are
# listed before the memory map and are skipped.
function hex(s,    i, c, v) {
  v = 0
  s = tolower(s)
  sub(/^0x/, "", s)
  for (i = 1; i <= length(s); i++) {
    c = index("0123456789abcdef", substr(s, i, 1))
    if (c == 0) break
    v = v * 16 + c - 1
  }
  return v
}
function origin(path,    lib, member) {
  lib = path; member = ""
  if (match(path, /\(.*\)$/)) {
    member = substr(path, RSTART + 1, RLENGTH - 2)
    lib = substr(path, 1, RSTART - 1)
  }
  sub(/.*\//, "", lib)
  sub(/.*\//, "", member)
  return lib "\t" (member == "" ? lib : member)
}
function add(size, path) {
  if (out == "" || out ~ /^\.debug/ || size == 0) return
  # The linker makes the relocation table itself.
  sum[out "\t" (out == ".reloc" ? "(linker)\t(base relocations)" : origin(path))] += size
}
/^Linker script and memory map/ { inmap = 1; next }
!inmap { next }
# An output section: its name at the start of the line.
/^\.[A-Za-z_]/ { out = $1; pending = ""; next }
/^ \*fill\*/ { if (out != "" && out !~ /^\.debug/) sum[out "\t(padding)\t(padding)"] += hex($3); next }
# An input section whose name is too long for one line: its numbers follow.
/^ \.[^ ]+$/ { pending = $1; next }
/^ \.[^ ]+ +0x[0-9a-f]+ +0x[0-9a-f]+ / { add(hex($3), $4); pending = ""; next }
pending != "" && /^ +0x[0-9a-f]+ +0x[0-9a-f]+ [^ ]/ { add(hex($2), $3); pending = ""; next }
{ pending = "" }
END { for (k in sum) printf "%d\t%s\n", sum[k], k }
