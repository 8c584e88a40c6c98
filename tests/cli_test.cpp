// The programs as a user sees them: what each command line prints, its
// status, and the files it leaves. A failure stops a run at once; what was
// written before it stays, and a header is complete or as it was before.
#include "png_util.h"
#include "transcript.h"

namespace {

TEST_F(Cli, RunsAsTranscribed)
{
    bytes cut = make_bmp(odd), jpeg = make_bmp(odd);
    cut.resize(cut.size() - 5), patch(jpeg, 30, 4);
    write_file(dir_ / "cut.bmp", cut);
    write_file(dir_ / "jpeg.bmp", jpeg);
    write_file(dir_ / "huge.bmp", make_bmp({.width = 70000, .height = 1}));
    write_file(dir_ / "ba.bmp", std::string("BA") + std::string(60, 'x'));

    const std::string top_text = expected_declarations("top", 3, 2, words_of(top));
    std::vector<transcript> runs = {
        {"vantrel", "Usage: vantrel file.bmp ...\n"},
        {"vantrel ab.bmp odd.bmp top.bmp 7", "Loading ab.bmp\nWriting ab.h\nWriting ab\nLoading odd.bmp\nWriting odd.h\n"
         "Writing odd\nLoading top.bmp\nWriting top.h\nWriting top\nLoading 7\nWriting 7.h\nWriting 7\nDone\n",
         {{"ab.h", ab_header}, {"odd.h", banner_text + odd_text}, {"top.h", banner_text + top_text},
          {"7.h", banner_text + expected_declarations("img_7", 2, 2, words_of(ab))}}},
        {"vantrel -all ab.bmp odd.bmp top.bmp", "Making data.h\nLoading ab.bmp\nWriting ab\nLoading odd.bmp\nWriting odd\n"
         "Loading top.bmp\nWriting top\nDone\n", {{"data.h", ab_header + odd_text + top_text}, {"ab.h", ""}}},
        {"vantrel -a", "Making data.h\nDone\n", {{"data.h", banner_text}}},
        {"vantrel wall.bmp", "Loading wall.bmp\nerror: can't write file wall.h\n"},
    };
    // An image whose identifiers data.h already declares; ab declares ab_x.
    for (const auto& [first, second, first_id, id] : {std::tuple{"ab", "ab", "ab", "ab"}, {"a-b", "a_b", "a_b", "a_b"},
                                                      {"ab", "ab_x", "ab", "ab_x"}, {"ab_x", "ab", "ab_x", "ab"}})
        runs.push_back({"vantrel -a " + std::string(first) + ".bmp " + second + ".bmp odd.bmp",
                        "Making data.h\nLoading " + std::string(first) + ".bmp\nWriting " + first + "\nLoading " + second +
                            ".bmp\nerror: duplicate image name " + id + "\n",
                        {{"data.h", banner_text + expected_declarations(first_id, 2, 2, words_of(ab))}}});
    const std::pair<std::string, std::string> failures[] = {
        {"missing.bmp", "can't open file missing.bmp"}, {"dir.bmp", "can't open file dir.bmp"}, {"-b", "can't open file -b"},
        {"ba.bmp", "wrong BMP format"}, {"jpeg.bmp", "unsupported BMP format"}, {"cut.bmp", "truncated BMP file"},
        {"huge.bmp", "image too large"},
    };
    for (const auto& [name, error] : failures) {
        const std::string failing = "Loading " + name + "\nerror: " + error + "\n";
        runs.push_back({"vantrel ab.bmp " + name + " odd.bmp", "Loading ab.bmp\nWriting ab.h\nWriting ab\n" + failing,
                        {{"ab.h", ab_header}, {name.substr(0, name.size() - 3) + "h", ""}, {"odd.h", ""}}});
        runs.push_back({"vantrel -a ab.bmp " + name + " odd.bmp", "Making data.h\nLoading ab.bmp\nWriting ab\n" + failing,
                        {{"data.h", ab_header}}});
    }
    check(runs);
}

// What a POSIX shell can do to a run: limits on memory and file size,
// signals, links, a second run at once, closed or full standard output, and
// reads made to fail or crawl in mid-picture by strace. Every header keeps
// what it held before a failure ("old"), and data.h the images before the
// failing one.
TEST_F(Cli, KeepsHeadersWholeWhateverHappens)
{
#ifdef _WIN32
    GTEST_SKIP() << "the shell's tools are POSIX ones";
#else
    fs::copy_file(dir_ / "big.bmp", dir_ / "unreadable.bmp");
    fs::copy_file(dir_ / "big.bmp", dir_ / "slow.bmp");
    fs::copy_file(VANTREL_TEST_FILES "/regressions/rle8-huge-bad-index.bmp", dir_ / "bad-rle.bmp");
    // Interlaced pictures of 2 MB of passes, read whole and on a thread.
    write_file(dir_ / "held.png", black_interlaced(1000, 1000));
    write_file(dir_ / "late.png", black_interlaced(1100, 1000));
    fs::copy_file(dir_ / "late.png", dir_ / "late2.png");
    // One pixel and 8 M runs of 255 past the right edge.
    bytes edge_runs;
    for (int i = 0; i < 8 << 20; ++i)
        edge_runs.insert(edge_runs.end(), {255, 0});
    write_file(dir_ / "runs.bmp", assemble({.compression = 1, .extra = bytes(8), .data = edge_runs}));
    // Reads of unreadable.bmp from the first or the second on fail as I/O errors.
    const std::string failing_reads = "strace -f -qq -o /dev/null -e trace=read -P unreadable.bmp -e inject=read:error=EIO:when=2+ ";
    const std::string failing_open = std::regex_replace(failing_reads, std::regex("when=2"), "when=1");
    const std::string slow_reads = "strace -f -qq -o /dev/null -e trace=read -P slow.bmp -e inject=read:delay_enter=200000 ";
    const std::string old = "old\n", memory_limit = "ulimit -v 1000000 && ", file_limit = "ulimit -f 2000 && ";
    const std::string big_bytes = read_file(dir_ / "big.bmp");
    write_file(dir_ / "text.png", join({png_signature, ihdr(1, 1, 8, 0), chunk("tEXt", bytes(70000, 'x')),
                                        chunk("IDAT", zlib_stored({0, 7})), chunk("IEND", {})}));
    const std::string big_text = banner_text + expected_declarations("big", 1100, 1024, words_of(big));
    const std::string longest(251, 'a');  // with ".bmp", as long as a name may be
    std::vector<transcript> runs = {
        // A billion pixels from a few bytes of RLE take no memory of their
        // own: the run gets as far as the file size limit.
        {memory_limit + file_limit + "vantrel vast.bmp",
         "Loading vast.bmp\nWriting vast.h\nWriting vast\nerror: can't write file vast.h\n"},
        // A broken RLE stream fails before the buffer its header claims.
        {memory_limit + "vantrel bad-rle.bmp", "Loading bad-rle.bmp\nerror: wrong BMP format\n"},
        // Runs past the edge cost no walk: well under a second of CPU.
        {memory_limit + "ulimit -t 1 && vantrel runs.bmp", "Loading runs.bmp\nWriting runs.h\nWriting runs\nDone\n",
         {{"runs.h", banner_text + expected_declarations("runs", 1, 1, {0x00800080})}}},
        // Passes past the limit fail the picture, read whole before anything
        // is written, or on a thread once its header is begun; a run loading
        // ahead holds one at a time, so two fit where one does.
        {"vantrel --memory-limit 1 held.png", "Loading held.png\nerror: out of memory\n"},
        {"echo old >late.h && " + memory_limit + "vantrel --memory-limit 2 late.png", "Loading late.png\nWriting late.h\n"
         "Writing late\nerror: out of memory\n", {{"late.h", old}}},
        {"vantrel -a --memory-limit 3 late.png late2.png", "Making data.h\nLoading late.png\nWriting late\nLoading late2.png\n"
         "Writing late2\nDone\n"},
        {"mkfifo fifo.bmp && vantrel fifo.bmp", "Loading fifo.bmp\nerror: can't open file fifo.bmp\n"},
        {failing_open + "vantrel unreadable.bmp", "Loading unreadable.bmp\nerror: can't read file unreadable.bmp\n"},
        {"echo old >unreadable.h && " + failing_reads + "vantrel unreadable.bmp", "Loading unreadable.bmp\nWriting "
         "unreadable.h\nWriting unreadable\nerror: can't read file unreadable.bmp\n", {{"unreadable.h", old}}},
        {"echo old >big.h && " + file_limit + "vantrel big.bmp", "Loading big.bmp\nWriting big.h\nWriting big\nerror: can't write file big.h\n",
         {{"big.h", old}}},
        {"mkfifo big.h && vantrel big.bmp", "Loading big.bmp\nerror: can't write file big.h\n"},
        {"ln -s /dev/full data.h && vantrel -a ab.bmp", "Making data.h\nerror: can't write file data.h\n"},
        // Ctrl-C in mid-picture; the messages still in stdout's buffer go
        // with the process.
        {"echo old >slow.h && " + slow_reads + "timeout --preserve-status -s INT 0.5 vantrel slow.bmp; echo status $?",
         "status 130\n", {{"slow.h", old}}},
        {"echo old >data.h && " + failing_reads + "vantrel -a ab.bmp unreadable.bmp", "Making data.h\nLoading ab.bmp\n"
         "Writing ab\nLoading unreadable.bmp\nWriting unreadable\nerror: can't read file unreadable.bmp\n", {{"data.h", ab_header}}},
        {"echo old >data.h && " + file_limit + "vantrel -a ab.bmp big.bmp", "Making data.h\nLoading ab.bmp\nWriting ab\nLoading big.bmp\nWriting big\n"
         "error: can't write file data.h\n", {{"data.h", ab_header}}},
        // A header that is its own input would destroy it as it replaced it.
        {"cp big.bmp t1.bmp && ln -s t1.bmp t1.h && vantrel t1.bmp", "error: can't write file t1.h\n",
         {{"t1.bmp", big_bytes}}},
        {"cp big.bmp t2.bmp && ln t2.bmp t2.h && vantrel t2.bmp", "error: can't write file t2.h\n",
         {{"t2.bmp", big_bytes}}},
        {"cp big.bmp t3.h && ln -s t3.h t3.bmp && vantrel t3.bmp", "error: can't write file t3.h\n",
         {{"t3.h", big_bytes}}},
        {"cp big.bmp t4.bmp && ln -s t4.bmp data.h && vantrel -a t4.bmp", "error: can't write file data.h\n", {{"t4.bmp", big_bytes}}},
        // An output over a later input, found before anything is read: b2.h is a bitmap.
        {"cp ab.bmp b2.bmp && cp ab.bmp b2.h && vantrel b2.bmp b2.h", "error: can't write file b2.h\n",
         {{"b2.h", read_file(dir_ / "ab.bmp")}}},
        // Two headers that are one file through a linked folder.
        {"mkdir -p d && ln -s d l && cp ab.bmp d/x.bmp && cp ab.bmp d/x.png && vantrel d/x.bmp l/x.png",
         "error: duplicate header l/x.h\n"},
        // Ctrl-C while a split form's files are written leaves none of them
        // half-made: the old ones stay, and no temporary file.
        {"echo old >slow.h && echo old >slow.c && " + slow_reads + "timeout --preserve-status -s INT 0.5 vantrel --asm "
         "slow.bmp; echo status $?", "status 130\n", {{"slow.h", old}, {"slow.c", old}}},
        // The form's files agree whichever rename fails: the word files come
        // first, under names of their own, then the header, then the source.
        {"echo old >ab.h && echo old >ab.c && strace -f -qq -o /dev/null -e inject=rename:error=EIO:when=3 vantrel --quiet "
         "--asm ab.bmp", "error: can't write file ab.h\n", {{"ab.h", old}, {"ab.c", old}}},
        {file_limit + "vantrel --quiet -a --asm big.bmp", "error: can't write file data.le.bin\n"},
        // A header whose name no #include can hold.
        {"cp ab.bmp 'say \"hi\".bmp' && vantrel --split 'say \"hi\".bmp'", "error: can't #include file say \"hi\".h\n"},
        // Declarations that did not change are left as they were, so that
        // nothing that includes them is compiled again.
        {"vantrel --split ab.bmp >/dev/null && touch -d @0 ab.h && vantrel --split ab.bmp >/dev/null && stat -c %Y ab.h", "0\n"},
        // Two --asm runs at once that write one output from two pictures
        // leave a source whose word files are there and agree with it.
        {"mkdir -p o d2 && cp ab.bmp d2/big.bmp && for i in 1 2 3 4 5; do { vantrel --asm --output-dir o big.bmp & "
         "vantrel --asm --output-dir o d2/big.bmp; wait $!; } >/dev/null && " VANTREL_CC " -c o/big.c -o big.o || exit 1; done", ""},
        // A system error reading a PNG's chunk headers is a failed read, not
        // a file cut short: the tEXt chunk puts them past the first read.
        {"strace -f -qq -o /dev/null -e trace=read -P text.png -e inject=read:error=EIO:when=2 vantrel --quiet text.png",
         "error: can't read file text.png\n"},
        // Two runs at once each put a whole header in place.
        {"vantrel big.bmp >/dev/null & vantrel big.bmp >/dev/null && wait $!", "", {{"big.h", big_text}}},
        {"vantrel -a big.bmp >/dev/null & vantrel -a big.bmp >/dev/null && wait $!", "", {{"data.h", big_text}}},
        // A header reached by a link is replaced through it, keeping its permissions.
        {"echo old >kept.h && chmod 604 kept.h && ln -s kept.h ab.h && vantrel ab.bmp >/dev/null && test -L ab.h && "
         "stat -c %a kept.h", "604\n", {{"kept.h", ab_header}}},
        // Closed standard output is not handed to data.h; a full one fails the run.
        {"vantrel -a ab.bmp >&-", "", {{"data.h", ab_header}}},
        {"vantrel ab.bmp >/dev/full", "error: can't write standard output\n", {{"ab.h", ab_header}}},
        // Not even the banner fits: data.h stays as it was. The messages go
        // through a pipe, which the limit does not cover.
        {"echo old >data.h && { { (ulimit -f 0 && exec vantrel -a ab.bmp); echo $? >status; } | cat; exit $(cat status); }",
         "Making data.h\nerror: can't write file data.h\n", {{"data.h", old}}},
        // A name as long as a file's name may be, whose temporary files'
        // names would be longer.
        {"cp ab.bmp " + longest + ".bmp && vantrel " + longest + ".bmp", "Loading " + longest + ".bmp\nWriting " + longest +
         ".h\nWriting " + longest + "\nDone\n", {{longest + ".h", banner_text + expected_declarations(longest, 2, 2, words_of(ab))}}},
    };
    check(runs);
#endif
}

// The preview stops at the first line vantrel would not have written, and
// leaves no picture behind.
TEST_F(Cli, PreviewRefusesWhatVantrelDidNotWrite)
{
#ifdef _WIN32
    GTEST_SKIP() << "the edits are made with POSIX tools";
#else
    const std::string make = "vantrel ab.bmp >/dev/null && ", longest(251, 'a');
    std::vector<transcript> runs = {
        {make + "vantrel-preview ab.h ab.h", "Loading ab.h\nWriting ab.png\nLoading ab.h\nerror: duplicate image name ab\n"},
        {make + "mkdir ab.png && vantrel-preview ab.h", "Loading ab.h\nWriting ab.png\nerror: can't write file ab.png\n"},
        // Its messages: on a full standard output the run fails, and with none
        // they go nowhere, never into the pictures, however many there are.
        {make + "vantrel-preview ab.h >/dev/null && mv ab.png good.png && { vantrel-preview ab.h >/dev/full; s=$?; "
         "cmp ab.png good.png && exit $s; }", "error: can't write standard output\n"},
        {"for i in $(seq 300); do cp ab.bmp p$i.bmp; done && vantrel -a p*.bmp >/dev/null && vantrel-preview data.h >&- && "
         "! grep -l Writing p*.png", ""},
        // A picture never replaces the header it comes from, nor a file the
        // system could not write whole.
        {make + "cp ab.h ab.png && vantrel-preview ab.png", "Loading ab.png\nWriting ab.png\nerror: can't write file ab.png\n",
         {{"ab.png", ab_header}}},
        {"vantrel -a ab.bmp >/dev/null && cp data.h ab.png && vantrel-preview data.h ab.png",
         "Loading data.h\nWriting ab.png\nerror: can't write file ab.png\n", {{"ab.png", ab_header}}},
        {"vantrel -a ab.bmp >/dev/null && ln -s data.h ab.png && vantrel-preview data.h",
         "Loading data.h\nWriting ab.png\nerror: can't write file ab.png\n", {{"data.h", ab_header}}},
        {make + "{ { (ulimit -f 0 && exec vantrel-preview ab.h); echo $? >status; } | cat; exit $(cat status); }",
         "Loading ab.h\nWriting ab.png\nerror: can't write file ab.png\n", {{"ab.png", ""}}},
        // The longest name a picture may have.
        {"cp ab.bmp " + longest + ".bmp && vantrel " + longest + ".bmp >/dev/null && vantrel-preview " + longest + ".h",
         "Loading " + longest + ".h\nWriting " + longest + ".png\nDone\n"},
    };
    // Edits of ab.h, and the line and reason of the error they give.
    const std::tuple<std::string, int, std::string> edits[] = {
        {"s/Vantrel/Vantrol/", 2, "not a header made by Vantrel"},
        {"s/_x = 2/_x = 65536/", 5, "ab_x out of range"},
        {"/_y = /d", 6, "missing declaration ab_y"},
        {"6p", 7, "repeated declaration ab_y"},
        {"5i x", 5, "unexpected text"},
        {"s/\\[4]/[5]/", 8, "array size 5 is not 2 x 2"},
        {"s/_x = 2/_x = 40000/;s/_y = 2/_y = 60000/;s/\\[4]/[2400000000]/", 8, "image too large"},
        {"s/_x = 2/_x = 4096/;s/_y = 2/_y = 4096/;s/\\[4]/[16777216]/", 8, "file too short for 16777216 words"},
        {"s/0x00800080/0x008000g0/", 9, "malformed word"},
        {"s/0x00800080/0x0080008/", 9, "malformed word"},
        {"s/0xfe80fe80/0xFE80FE80/", 9, "malformed word"},
        {"s/_x = 2/_x = 02/", 5, "malformed declaration ab_x"},
        {"9s/$/\\r/", 9, "line end unlike the first line's"},
        {"s/0x00800080,/0x00800080, 0x00800080,/", 9, "too many words in row"},
        {"/^}/,$d", 11, "unexpected end of file"},
    };
    // The rows are read as the picture is written.
    for (const auto& [edit, line, reason] : edits)
        runs.push_back({make + "sed '" + edit + "' ab.h >bad.h && vantrel-preview bad.h", "Loading bad.h\n" +
                        std::string(line >= 9 ? "Writing ab.png\n" : "") + "error: bad.h:" + std::to_string(line) + ": " + reason + "\n",
                        {{"ab.png", ""}}});
    check(runs);
#endif
}

// What Windows does differently. A pattern is replaced where it stands by
// the names it matches, in the order the system lists them, and either
// separator works. A name outside ASCII reaches the program in the ANSI code
// page, typed or matched, and has to name the same files when the bitmap is
// opened and the header written; the bitmaps are made with the wide API, as
// Explorer makes them. Device names and characters Windows does not allow
// fail as a missing file does, and a pattern that matches nothing arrives as
// typed. A header that another program holds open without sharing it, as
// editors hold the ones they show, is found before any work is done. On 32
// bits, the 2^32 bytes of words of 32768 x 32768 pixels make 0 in a size_t.
TEST_F(Cli, RunsAsWindowsRunsIt)
{
#ifndef _WIN32
    GTEST_SKIP() << "Windows only";
#else
    fs::create_directories(dir_.path / "pics/sub");
    for (const std::wstring name : {L"pics/one", L"pics/two", L"pics/sub/3", L"pics/sub/it\u2019s", L"pics/sub/\u20ac"})
        fs::copy_file(dir_ / "ab.bmp", dir_.path / (name + L".bmp"));
    std::vector<transcript> runs;
    // A command line in both modes, which load the bitmaps given (each a copy
    // of ab.bmp) and declare their identifiers.
    const auto converts = [&](const std::string& args, const std::vector<std::pair<std::string, std::string>>& names) {
        transcript single{"vantrel " + args, ""}, combined{"vantrel -a " + args, "Making data.h\n", {{"data.h", banner_text}}};
        for (const auto& [name, id] : names) {
            const std::string stem = name.substr(0, name.size() - 4), text = expected_declarations(id, 2, 2, words_of(ab));
            single.output += "Loading " + name + "\nWriting " + stem + ".h\nWriting " + stem + "\n";
            single.files.push_back({stem + ".h", banner_text + text});
            combined.output += "Loading " + name + "\nWriting " + stem + "\n";
            combined.files[0].second += text;
        }
        single.output += "Done\n", combined.output += "Done\n";
        runs.insert(runs.end(), {single, combined});
    };
    converts("pics\\*.bmp", {{"pics\\one.bmp", "one"}, {"pics\\two.bmp", "two"}});
    converts("a-b.bmp pics\\sub/3*.bmp ab.bmp", {{"a-b.bmp", "a_b"}, {"pics\\sub/3.bmp", "img_3"}, {"ab.bmp", "ab"}});
    if (GetACP() == 1252) {  // the names outside ASCII are written for code page 1252
        converts("pics\\sub\\it\x92s.bmp pics/sub/\x80.bmp", {{"pics\\sub\\it\x92s.bmp", "it_s"}, {"pics/sub/\x80.bmp", "_"}});
        converts("pics\\sub\\*.bmp", {{"pics\\sub\\3.bmp", "img_3"}, {"pics\\sub\\it\x92s.bmp", "it_s"}, {"pics\\sub\\\x80.bmp", "_"}});
    }
    std::vector<std::pair<std::string, std::string>> refusals = {{"top.bmp", "can't write file top.h"}};
    // cmd.exe would take < and | for redirections.
    for (const std::string name : {"CON", "nul", "COM1.bmp", "pics\\aux.bmp", "CONOUT$", "\"a<b.bmp\"", "\"a|b.bmp\"", "a:b.bmp", "none*.bmp"})
        refusals.push_back({name, "can't open file " + std::regex_replace(name, std::regex("\""), "")});
    for (const auto& [name, error] : refusals)
        runs.push_back({"vantrel ab.bmp " + name + " top.bmp", "Loading ab.bmp\nWriting ab.h\nWriting ab\nLoading " +
                        std::regex_replace(name, std::regex("\""), "") + "\nerror: " + error + "\n", {{"ab.h", ab_header}}});
    // A header that is a symbolic link is written at its target, and the
    // link stays. Windows makes one unprivileged in developer mode; wine
    // makes none, but follows the Unix ones ln makes, and returns from
    // starting ln before ln is done.
    fs::copy_file(dir_ / "ab.bmp", dir_ / "linked.bmp");
    write_file(dir_ / "kept.h", std::string("old\n"));
    const fs::path link = dir_.path / "linked.h";
    bool linked = CreateSymbolicLinkW(link.c_str(), L"kept.h", SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE) && fs::exists(link);
    if (!linked && GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version")) {
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION ln;
        std::wstring command = L"ln -s kept.h linked.h";
        if (CreateProcessW(L"Z:\\bin\\ln", command.data(), nullptr, nullptr, FALSE, 0, nullptr, dir_.path.c_str(), &startup, &ln))
            CloseHandle(ln.hThread), CloseHandle(ln.hProcess);
        for (int wait = 0; wait < 500 && !fs::exists(link); ++wait)
            Sleep(10);
        linked = fs::exists(link);
        EXPECT_TRUE(linked) << "wine's ln made no link";
    }
    if (linked)
        runs.push_back({"vantrel linked.bmp", "Loading linked.bmp\nWriting linked.h\nWriting linked\nDone\n",
                        {{"kept.h", banner_text + expected_declarations("linked", 2, 2, words_of(ab))}}});
    // Two identifiers that differ in case name one picture here.
    write_file(dir_ / "cases.h", banner_text + expected_declarations("a", 2, 2, words_of(ab)) +
                                     expected_declarations("A", 2, 2, words_of(ab)));
    runs.push_back({"vantrel-preview cases.h", "Loading cases.h\nWriting a.png\nerror: duplicate image name A\n"});
    const HANDLE held = CreateFileA((dir_ / "top.h").string().c_str(), GENERIC_READ, 0, nullptr, CREATE_NEW, 0, nullptr);
    check(runs);
    CloseHandle(held);
    std::error_code failed;
    EXPECT_TRUE(!linked || fs::equivalent(link, dir_.path / "kept.h", failed));
    // Wine deletes a Unix link's target, not the link, and lists no link
    // whose target is gone, so that the scratch folder could never be
    // removed. A file renamed over the link replaces the link alone.
    write_file(dir_ / "unlinked.h", std::string());
    MoveFileExW((dir_.path / "unlinked.h").c_str(), link.c_str(), MOVEFILE_REPLACE_EXISTING);
#endif
}

}  // namespace
