// knobreg end to end: the real executable on a machine of its own.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "hive/sqlite_hive.h"
#include "support/temp_machine.h"

extern char** environ;

namespace fs = std::filesystem;
using namespace std::string_literals;
using testing_support::readFile;
using testing_support::writeFile;

namespace {

struct Result {
    int code = -1;
    std::string out;
    std::string err;
};

// A home of its own for each machine (XDG_DATA_HOME), and knobreg run there.
class Machine {
  public:
    Machine() : home_(testing_support::makeTempDir("knobwise-knobreg-")) {}
    ~Machine() { fs::remove_all(home_); }

    const fs::path& home() const { return home_; }
    fs::path file(const std::string& name) const { return home_ / name; }

    Result run(std::vector<std::string> args, const std::string& input = "",
               const char* exe = KNOBREG_EXE) const {
        const fs::path in = home_ / "stdin", out = home_ / "stdout", err = home_ / "stderr";
        writeFile(in, input);
        args.insert(args.begin(), exe);
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        const testing_support::XdgDataHome xdg(home_);  // the child's environment

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, in.c_str(), O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0600);
        posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0600);
        pid_t pid = 0;
        Result r;
        if (posix_spawn(&pid, exe, &actions, nullptr, argv.data(), environ) == 0) {
            int status = 0;
            waitpid(pid, &status, 0);
            r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        r.out = readFile(out);
        r.err = readFile(err);
        return r;
    }

    // The value as the hive holds it, read behind the tool's back.
    std::optional<regstore::Value> stored(regstore::Root root, const std::string& key,
                                          const std::string& name) const {
        std::unique_ptr<regstore::SqliteHive> h =
            regstore::SqliteHive::open(home_ / "knobwise" / "registry.db");
        std::optional<regstore::KeyId> id = h->findKey(root, key);
        return id ? h->value(*id, name) : std::nullopt;
    }

  private:
    fs::path home_;
};

const std::string kAdvanced =
    "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Advanced";
const std::string kNotFound =
    "ERROR: The system was unable to find the specified registry key or value.\n";

bool has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(Knobreg, QueryShowsTheSeededMachineInRegsLayout) {
    Machine m;
    Result r = m.run({"query", kAdvanced});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out,
              "\n" + kAdvanced +
                  "\n    HideFileExt    REG_DWORD    0x1\n    ShowInfoTip    REG_DWORD    0x1\n");

    // Short root names, any case; the output spells keys as they were made.
    r = m.run({"QUERY", "hkcu\\software\\microsoft\\windows\\currentversion\\explorer\\ADVANCED\\",
               "-V", "showinfotip"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "\n" + kAdvanced + "\n    ShowInfoTip    REG_DWORD    0x1\n\n");

    r = m.run({"query", "HKCR\\lnkfile", "/ve"});
    EXPECT_EQ(r.out, "\nHKEY_CLASSES_ROOT\\lnkfile\n    (Default)    REG_SZ    Shortcut\n\n");

    // Subkeys are listed after the values; /s goes through them.
    r = m.run({"query", "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer"});
    EXPECT_EQ(r.out,
              "\nHKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\n\n" +
                  kAdvanced +
                  "\nHKEY_CURRENT_"
                  "USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders\n");
    r = m.run({"query", "HKEY_CLASSES_ROOT\\CLSID", "/s", "/v", "infotip"});
    EXPECT_EQ(r.code, 0);
    EXPECT_TRUE(has(r.out,
                    "\nHKEY_CLASSES_ROOT\\CLSID\\{645FF040-5081-101B-9F08-00AA002F954E}\n    "
                    "InfoTip    REG_SZ    "));
    EXPECT_TRUE(has(r.out, "End of search: 6 match(es) found.\n")) << r.out;
    r = m.run({"query", "HKLM", "/s"});
    EXPECT_TRUE(has(r.out,
                    "\nHKEY_LOCAL_MACHINE\\Software\\Classes\\piffile\n    (Default)    REG_SZ    "
                    "Shortcut to MS-DOS Program\n"
                    "    IsShortcut    REG_SZ    \n"));

    r = m.run({"query", kAdvanced, "/v", "Missing"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, kNotFound);
    r = m.run({"query", "HKCU\\Software\\Nowhere"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, kNotFound);
}

TEST(Knobreg, AddWritesEveryTypeAsTheHiveHoldsIt) {
    Machine m;
    const std::string key = "HKCU\\Software\\Test\\New";
    // Adds the value, then finds it in the hive and in the query's output.
    auto add = [&](const std::vector<std::string>& value, DWORD type, const std::string& data,
                   const std::string& shown) {
        const bool dflt = value[0] == "/ve";
        const std::string name = dflt ? "" : value[1];
        std::vector<std::string> args{"add", key};
        args.insert(args.end(), value.begin(), value.end());
        Result r = m.run(args);
        EXPECT_EQ(r.code, 0) << shown << ": " << r.err;
        EXPECT_EQ(r.out, "The operation completed successfully.\n");
        std::optional<regstore::Value> v =
            m.stored(regstore::Root::CurrentUser, "Software\\Test\\New", name);
        ASSERT_TRUE(v) << shown;
        EXPECT_EQ(v->type, type) << shown;
        EXPECT_EQ(v->data, data) << shown;
        Result q = m.run(dflt ? std::vector<std::string>{"query", key, "/ve"}
                              : std::vector<std::string>{"query", key, "/v", name});
        EXPECT_TRUE(has(q.out, "    " + (dflt ? "" : name + "    ") + shown + "\n")) << q.out;
    };
    add({"/v", "Text", "/d", "Caf\xc3\xa9 \xe2\x82\xac"}, REG_SZ, "Caf\xE9 \x80\0"s,
        "REG_SZ    Caf\xc3\xa9 \xe2\x82\xac");
    add({"/v", "Path", "/t", "reg_expand_sz", "/d", "%windir%"}, REG_EXPAND_SZ, "%windir%\0"s,
        "REG_EXPAND_SZ    %windir%");
    add({"/v", "Hex", "/t", "REG_DWORD", "/d", "0x1F"}, REG_DWORD, "\x1F\0\0\0"s,
        "REG_DWORD    0x1f");
    add({"/v", "Max", "/t", "REG_DWORD", "/d", "4294967295"}, REG_DWORD, "\xFF\xFF\xFF\xFF",
        "REG_DWORD    0xffffffff");
    add({"/v", "Bin", "/t", "REG_BINARY", "/d", "01fF"}, REG_BINARY, "\x01\xFF",
        "REG_BINARY    01FF");
    add({"/v", "List", "/t", "REG_MULTI_SZ", "/d", "a\\0b c"}, REG_MULTI_SZ, "a\0b c\0\0"s,
        "REG_MULTI_SZ    a\\0b c");
    add({"/v", "Split", "/t", "REG_MULTI_SZ", "/s", "#", "/d", "x#y"}, REG_MULTI_SZ, "x\0y\0\0"s,
        "REG_MULTI_SZ    x\\0y");
    add({"/v", "None", "/t", "REG_NONE"}, REG_NONE, "", "REG_NONE    ");
    add({"/ve", "/d", "dflt"}, REG_SZ, "dflt\0"s, "(Default)    REG_SZ    dflt");

    // A key alone, with the keys above it.
    EXPECT_EQ(m.run({"add", "HKLM\\Software\\A\\B\\C"}).code, 0);
    EXPECT_EQ(m.run({"query", "HKLM\\Software\\A\\B\\C"}).code, 0);

    // Data the type cannot take changes nothing.
    for (std::vector<std::string> bad :
         {std::vector<std::string>{"/t", "REG_DWORD", "/d", "4294967296"},
          {"/t", "REG_DWORD", "/d", "12abc"},
          {"/t", "REG_BINARY", "/d", "123"},
          {"/t", "REG_BINARY", "/d", "zz"},
          {"/d", "\xce\xa9 has no place in the code page"}}) {
        std::vector<std::string> args{"add", key, "/v", "Text", "/f"};
        args.insert(args.end(), bad.begin(), bad.end());
        Result r = m.run(args);
        EXPECT_EQ(r.code, 1) << bad.back();
        EXPECT_TRUE(r.err.starts_with("ERROR: ")) << r.err;
    }
    EXPECT_EQ(m.stored(regstore::Root::CurrentUser, "Software\\Test\\New", "Text")->data,
              "Caf\xE9 \x80\0"s);
}

TEST(Knobreg, ChangesAskFirstUnlessForced) {
    Machine m;
    const std::string key = "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Applets\\Hearts";
    const std::string path = "Software\\Microsoft\\Windows\\CurrentVersion\\Applets\\Hearts";
    ASSERT_EQ(m.run({"add", key, "/v", "ZB", "/d", "86"}).code, 0);

    // No answer at all: nothing happens.
    Result r = m.run({"add", key, "/v", "zb", "/d", "99"});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(has(r.out, "Value zb exists, overwrite (Yes/No)? ")) << r.out;
    EXPECT_TRUE(has(r.out, "The operation was canceled by the user.")) << r.out;
    EXPECT_EQ(m.stored(regstore::Root::CurrentUser, path, "ZB")->data, "86\0"s);

    // Asked again until the answer is yes or no.
    r = m.run({"add", key, "/v", "ZB", "/d", "99"}, "maybe\nYES\n");
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(m.stored(regstore::Root::CurrentUser, path, "ZB")->data, "99\0"s);
    EXPECT_EQ(m.run({"add", key, "/v", "ZB", "/d", "42", "/F"}).code, 0);
    EXPECT_EQ(m.stored(regstore::Root::CurrentUser, path, "ZB")->data, "42\0"s);

    EXPECT_EQ(m.run({"delete", key, "/v", "ZB"}, "n\n").code, 1);
    EXPECT_TRUE(m.stored(regstore::Root::CurrentUser, path, "ZB"));
    r = m.run({"delete", key, "/v", "ZB"}, "y\n");
    EXPECT_EQ(r.code, 0);
    EXPECT_TRUE(has(r.out, "Delete the registry value ZB (Yes/No)? ")) << r.out;
    EXPECT_FALSE(m.stored(regstore::Root::CurrentUser, path, "ZB"));
    r = m.run({"delete", key, "/v", "ZB", "/f"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, kNotFound);

    // All values go, the key stays; then the key goes with what is below it.
    const std::string tips = "HKCR\\CLSID\\{645FF040-5081-101B-9F08-00AA002F954E}";
    EXPECT_EQ(m.run({"delete", tips, "/va", "/f"}).code, 0);
    r = m.run({"query", tips});
    EXPECT_EQ(r.out, "\nHKEY_CLASSES_ROOT\\CLSID\\{645FF040-5081-101B-9F08-00AA002F954E}\n");
    EXPECT_EQ(m.run({"delete", "HKCR\\CLSID"}, "no\n").code, 1);
    EXPECT_EQ(m.run({"query", tips}).code, 0);
    EXPECT_EQ(m.run({"delete", "HKLM\\Software\\Classes\\CLSID", "/f"}).code, 0);
    EXPECT_EQ(m.run({"query", tips}).code, 1);

    r = m.run({"delete", "HKCU", "/f"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "ERROR: A root key cannot be deleted.\n");
    EXPECT_EQ(m.run({"query", "HKCU\\Software"}).code, 0);
}

TEST(Knobreg, ExportAndImportCarryAWholeMachine) {
    Machine first, second;
    ASSERT_EQ(first
                  .run({"add", "HKCU\\Software\\Extra \"quoted\"\\Caf\xc3\xa9", "/v", "back\\slash",
                        "/t", "REG_BINARY", "/d", "00ff10"})
                  .code,
              0);
    for (const char* format : {"unicode", "regedit4"}) {
        SCOPED_TRACE(format);
        const bool ansi = std::string_view(format) == "regedit4";
        for (const char* root : {"HKLM", "HKCU"}) {
            const fs::path out = first.file(std::string(root) + ".reg");
            std::vector<std::string> args{"export", root, out.string(), "/y"};
            if (ansi) args.push_back("/a");
            ASSERT_EQ(first.run(args).code, 0);
            std::string text = readFile(out);
            EXPECT_TRUE(text.starts_with(ansi ? "REGEDIT4\r\n" : "\xFF\xFE")) << root;

            Result r = second.run({"import", out.string()});
            EXPECT_EQ(r.code, 0) << r.err;
            EXPECT_EQ(r.out, "The operation completed successfully.\n");
            const fs::path back = second.file(std::string(root) + ".reg");
            args[2] = back.string();
            ASSERT_EQ(second.run(args).code, 0);
            EXPECT_EQ(readFile(back), text) << root;
        }
    }
    EXPECT_EQ(second
                  .stored(regstore::Root::CurrentUser, "Software\\Extra \"quoted\"\\caf\xc3\xa9",
                          "BACK\\SLASH")
                  ->data,
              "\x00\xff\x10"s);

    // An existing file is replaced only when the user says so.
    const fs::path out = first.file("kept.reg");
    writeFile(out, "mine");
    Result r = first.run({"export", "HKCU\\Software", out.string()});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(has(r.out, "(Yes/No)? ")) << r.out;
    EXPECT_EQ(readFile(out), "mine");
    EXPECT_EQ(first.run({"export", "HKCU\\Software", out.string()}, "y\n").code, 0);
    EXPECT_TRUE(readFile(out).starts_with("\xFF\xFE"));
    EXPECT_EQ(first.run({"export", "HKCU\\Nowhere", first.file("x.reg").string()}).code, 1);
    EXPECT_FALSE(fs::exists(first.file("x.reg")));
}

// As reg.exe: a line it skips is skipped, with a warning that names it, and
// the rest imported; a file that is no registry file changes nothing.
TEST(Knobreg, ImportSkipsWhatRegExeSkipsAndSaysSo) {
    Machine m;
    const fs::path file = m.file("fix.reg");
    writeFile(file,
              "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Imported]\r\n\"a\"=\"1\"\r\n\"b\"="
              "dword:12345678abc\r\n");
    Result r = m.run({"import", file.string()});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.err,
              "knobreg: " + file.string() + ":5: skipped: \"dword:12345678abc\" is not a number\n");
    EXPECT_EQ(m.stored(regstore::Root::CurrentUser, "Software\\Imported", "a")->data, "1\0"s);
    EXPECT_FALSE(m.stored(regstore::Root::CurrentUser, "Software\\Imported", "b"));

    writeFile(file, "REGEDIT3\r\n\r\n[HKEY_CURRENT_USER\\Software\\Other]\r\n");
    r = m.run({"import", file.string()});
    EXPECT_EQ(r.code, 0);
    EXPECT_TRUE(has(r.err, ":1: skipped: the whole file")) << r.err;
    writeFile(file, "\r\nREGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Other]\r\n");
    r = m.run({"import", file.string()});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(has(r.err, "line 1: not a registry file")) << r.err;
    EXPECT_EQ(m.run({"query", "HKCU\\Software\\Other"}).code, 1);

    r = m.run({"import", m.file("missing.reg").string()});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.err.starts_with("ERROR: " + m.file("missing.reg").string() + " cannot be read"))
        << r.err;
    // A FIFO is refused as it is, without waiting for a writer.
    const fs::path fifo = m.file("fifo.reg");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    r = m.run({"import", fifo.string()});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(has(r.err, fifo.string() + " is a FIFO")) << r.err;

    // A file of junk: the first 100 warnings, then their count; the file's
    // text quoted with its control characters escaped.
    std::string junk = "REGEDIT4\r\n";
    for (int i = 0; i < 150; ++i) junk += "\x1b]52;c;x\a\r\n";
    writeFile(file, junk);
    r = m.run({"import", file.string()});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 101) << r.err;
    EXPECT_TRUE(has(r.err,
                    ":101: skipped: expected a [key], a \"value\"= or @=, not "
                    "\"\\x1b]52;c;x\\x07\"\n"))
        << r.err;
    EXPECT_TRUE(r.err.ends_with(": 50 more warnings, not shown\n")) << r.err;
    EXPECT_EQ(r.err.find('\x1b'), std::string::npos);
}

// Each change is kept, the newest first, by the command line that made it;
// undo refuses over a value changed since by another program, naming it,
// and /f takes the change back all the same.
TEST(Knobreg, HistoryAndUndo) {
    Machine m;
    ASSERT_EQ(m.run({"add", "HKCU\\Software\\Kept", "/v", "A", "/d", "one", "/f"}).code, 0);
    ASSERT_EQ(m.run({"add", "HKCU\\Software\\Kept", "/v", "A", "/d", "two words", "/f"}).code, 0);
    Result r = m.run({"history"});
    EXPECT_EQ(r.code, 0);
    const size_t second = r.out.find("\n2    ");
    ASSERT_NE(second, std::string::npos) << r.out;
    EXPECT_TRUE(r.out.starts_with("1    ")) << r.out;
    EXPECT_NE(r.out.find("    knobreg add HKCU\\Software\\Kept /v A /d \"two words\" /f\n    "
                         "HKEY_CURRENT_USER\\Software\\Kept (A)\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("knobreg add HKCU\\Software\\Kept /v A /d one /f", second),
              std::string::npos)
        << r.out;

    {  // Another program changes the value.
        auto hive = regstore::SqliteHive::open(m.home() / "knobwise" / "registry.db");
        hive->setValue(*hive->findKey(regstore::Root::CurrentUser, "Software\\Kept"), "A", REG_SZ,
                       "three");
    }
    r = m.run({"undo"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err,
              "ERROR: HKEY_CURRENT_USER\\Software\\Kept (A) has been changed since change 1 was "
              "made; /f takes the change back all the same.\n");
    EXPECT_EQ(m.stored(regstore::Root::CurrentUser, "Software\\Kept", "A")->data, "three");
    r = m.run({"undo", "/f"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(r.out.starts_with("Took back change 1, knobreg add ")) << r.out;
    EXPECT_EQ(m.stored(regstore::Root::CurrentUser, "Software\\Kept", "A")->data, "one\0"s);
    EXPECT_EQ(m.run({"undo", "9"}).code, 1);
    EXPECT_EQ(m.run({"undo", "x"}).code, 1);
}

TEST(Knobreg, CommandLinesItCannotUnderstand) {
    Machine m;
    Result r = m.run({"/?"});
    EXPECT_EQ(r.code, 0);
    EXPECT_TRUE(has(r.out, "QUERY | ADD | DELETE | EXPORT | IMPORT"));
    r = m.run({"add", "/?"});
    EXPECT_EQ(r.code, 0);
    EXPECT_TRUE(r.out.starts_with("KNOBREG ADD KeyName"));
    // Asking for help makes no machine.
    EXPECT_FALSE(fs::exists(m.home() / "knobwise"));

    // Each refusal names its fault, and points at the help of the operation.
    const std::pair<std::vector<std::string>, const char*> bad[] = {
        {{}, "ERROR: Invalid syntax.\nType \"KNOBREG /?\" for usage.\n"},
        {{"frobnicate"}, "ERROR: Invalid syntax: unknown operation frobnicate.\n"},
        {{"query", kAdvanced, "/x"},
         "ERROR: Invalid syntax: unknown switch /x.\nType \"KNOBREG QUERY /?\" for usage.\n"},
        {{"query", kAdvanced, "/v"}, "ERROR: Invalid syntax: the switch /v needs a value."},
        {{"query", kAdvanced, "/v", "a", "/ve"}, "ERROR: Invalid syntax: /v and /ve exclude"},
        {{"query"}, "ERROR: Invalid syntax: query needs one key name."},
        {{"query", "HKXX\\Software"}, "ERROR: Invalid key name \"HKXX\\Software\".\n"},
        {{"add", "HKCU\\Software", "/v", "x", "/t", "REG_WHATEVER"},
         "ERROR: Invalid syntax: unknown type REG_WHATEVER"},
        {{"delete", "HKCU\\Software", "/v", "x", "/va"},
         "ERROR: Invalid syntax: /v, /ve and /va exclude each other"},
        {{"export", "HKCU\\Software"},
         "ERROR: Invalid syntax: export needs a key name and a file name"},
    };
    for (const auto& [args, message] : bad) {
        r = m.run(args);
        EXPECT_EQ(r.code, 1) << message;
        EXPECT_TRUE(r.err.starts_with(message)) << r.err;
        EXPECT_TRUE(r.err.ends_with(" /?\" for usage.\n")) << r.err;
        EXPECT_EQ(r.out, "");
    }
}

// --wine-prefix: a folder that is no Wine prefix is refused by both programs,
// naming it, and nothing is made there or in the user's own machine; a
// prefix is used as asked.
TEST(WinePrefixOption, ANonPrefixIsRefusedAndAPrefixIsUsed) {
    Machine m;
    const fs::path empty = m.file("not a prefix");
    fs::create_directory(empty);
    const std::vector<std::pair<const char*, std::vector<std::string>>> refused = {
        {KNOBREG_EXE, {"--wine-prefix", empty.string(), "query", "HKCU"}},
        {KNOBWISE_EXE, {"--wine-prefix", empty.string()}},
        {KNOBWISE_EXE, {"--wine-prefix=" + empty.string()}},
    };
    for (const auto& [exe, args] : refused) {
        Result r = m.run(args, "", exe);
        EXPECT_EQ(r.code, 1) << exe;
        EXPECT_NE(r.err.find(empty.string() + " is not a Wine prefix"), std::string::npos) << r.err;
        EXPECT_TRUE(fs::is_empty(empty));
    }
    EXPECT_FALSE(fs::exists(m.home() / "knobwise"));

    const fs::path prefix = m.file("prefix");
    writeFile(prefix / "system.reg", "WINE REGISTRY Version 2\n\n[Software\\\\Classes] 1\n");
    writeFile(prefix / "user.reg", "WINE REGISTRY Version 2\n\n[Software\\\\Wine] 1\n");
    EXPECT_EQ(m.run({"--wine-prefix", prefix.string(), "add", "HKCU\\Software\\Wine", "/v", "Tip",
                     "/d", "Caf\xc3\xa9", "/f"})
                  .code,
              0);
    EXPECT_EQ(m.run({"--wine-prefix=" + prefix.string(), "query", "HKCU\\Software\\Wine"}).out,
              "\nHKEY_CURRENT_USER\\Software\\Wine\n    Tip    REG_SZ    Caf\xc3\xa9\n");
    EXPECT_NE(readFile(prefix / "user.reg").find("\"Tip\"=\"Caf\\xe9\"\n"), std::string::npos);
    EXPECT_NE(m.run({"--help"}, "", KNOBWISE_EXE).out.find("--wine-prefix"), std::string::npos);
    EXPECT_NE(m.run({"/?"}).out.find("--wine-prefix"), std::string::npos);
}

// An environment variable for the programs run while it lives.
using Env = testing_support::ScopedEnv;

void makePrefix(const fs::path& dir) {
    writeFile(dir / "system.reg", "WINE REGISTRY Version 2\n\n[Software\\\\Classes] 1\n");
    writeFile(dir / "user.reg", "WINE REGISTRY Version 2\n\n[Software\\\\Wine] 1\n");
}

// One line a prefix, tab-separated; none is no failure.
TEST(Knobreg, ListPrefixes) {
    Machine m;
    const fs::path home = fs::canonical(m.home());
    const Env homeVar("HOME", home.string());
    const Env noPrefix("WINEPREFIX", "");
    Result r = m.run({"--list-prefixes"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "");
    makePrefix(home / ".wine");
    makePrefix(home / ".PlayOnLinux/wineprefix/Office 97");
    // A name that would clear the screen, split its line and field: escaped.
    makePrefix(home / ".PlayOnLinux/wineprefix/Zap\x1b[2J\tcaf\xc3\xa9\\\xff");
    r = m.run({"--list-prefixes"});
    EXPECT_EQ(r.code, 0) << r.err;
    const std::string zap = "Zap\\x1b[2J\\x09caf\xc3\xa9\\\\\\xff";
    EXPECT_EQ(r.out, (home / ".wine").string() + "\tWine\t.wine\n" +
                         (home / ".PlayOnLinux/wineprefix/Office 97").string() +
                         "\tPlayOnLinux\tOffice 97\n" +
                         (home / ".PlayOnLinux/wineprefix").string() + "/" + zap +
                         "\tPlayOnLinux\t" + zap + "\n");
    EXPECT_EQ(m.run({"--list-prefixes", "x"}).code, 1);
    EXPECT_NE(m.run({"/?"}).out.find("--list-prefixes"), std::string::npos);
}

// Both programs read the machine arguments by one rule: a relative folder
// is made absolute and normalised, an empty one and a relative $WINEPREFIX
// are refused, and nothing is said of the prefix before every argument is
// taken.
TEST(WinePrefixOption, RelativeAndEmptyFolders) {
    Machine m;
    const fs::path home = fs::canonical(m.home());
    const testing_support::CurrentDirectory here(home);
    makePrefix(home / "prefix");
    fs::create_directory(home / "plain");
    EXPECT_EQ(m.run({"--wine-prefix", "./prefix/../prefix/", "query", "HKCU\\Software\\Wine"}).out,
              "\nHKEY_CURRENT_USER\\Software\\Wine\n");

    const Env relative("WINEPREFIX", "rel");
    const std::vector<std::tuple<const char*, std::vector<std::string>, int, std::string>> cases = {
        {KNOBREG_EXE,
         {"--wine-prefix", "./plain", "query", "HKCU"},
         1,
         (home / "plain").string() + " is not a Wine prefix"},
        {KNOBWISE_EXE,
         {"--wine-prefix=./plain/"},
         1,
         (home / "plain").string() + " is not a Wine prefix"},
        {KNOBWISE_EXE, {"--wine-prefix", ""}, 2, "--wine-prefix needs a folder"},
        {KNOBWISE_EXE, {"--wine-prefix="}, 2, "--wine-prefix needs a folder"},
        {KNOBREG_EXE, {"--wine-prefix", "", "query", "HKCU"}, 1, "--wine-prefix needs a folder"},
        {KNOBREG_EXE, {"--wine-prefix=", "query", "HKCU"}, 1, "--wine-prefix needs a folder"},
        {KNOBWISE_EXE, {"--wine-prefix"}, 2, "$WINEPREFIX is set to rel, which is not an absolute"},
        {KNOBREG_EXE, {"--wine-prefix"}, 1, "$WINEPREFIX is set to rel, which is not an absolute"},
        {KNOBWISE_EXE, {"--wine-prefix", "prefix", "stray"}, 2, "unexpected argument stray"},
    };
    for (const auto& [exe, args, code, message] : cases) {
        const Result r = m.run(args, "", exe);
        EXPECT_EQ(r.code, code) << message;
        EXPECT_TRUE(has(r.err, message)) << r.err;
        EXPECT_FALSE(has(r.err, "using the Wine prefix")) << r.err;
    }
}

}  // namespace
