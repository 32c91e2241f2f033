// What makes a folder a Wine prefix and how one is named; the Wine prefixes
// found on a home that holds every program's files as the program writes
// them, native and Flatpak, with a damaged file of each kind and files
// skipped with a warning, Lutris's database left as it was; and the reader
// of Valve's text format they are partly in.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>

#include <map>

#include "machine/prefixes.h"
#include "machine/vdf.h"
#include "support/temp_machine.h"
#include "wineprefix/prefix_identity.h"

namespace fs = std::filesystem;
using Env = testing_support::ScopedEnv;
using testing_support::writeFile;

namespace {

void makePrefix(const fs::path& dir) {
    writeFile(dir / "system.reg", "WINE REGISTRY Version 2\n");
    writeFile(dir / "user.reg", "WINE REGISTRY Version 2\n");
}

std::string acf(const std::string& appId, const std::string& name) {
    return "\"AppState\"\n{\n\t\"appid\"\t\t\"" + appId +
           "\"\n\t\"Universe\"\t\t\"1\"\n\t\"name\"\t\t\"" + name +
           "\"\n\t\"StateFlags\"\t\t\"4\"\n\t\"installdir\"\t\t\"" + name + "\"\n}\n";
}

// Lutris's games table, with the columns it is read by and a few more.
void lutrisDb(const fs::path& file, const std::vector<std::pair<std::string, std::string>>& rows) {
    fs::create_directories(file.parent_path());
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
    std::string sql =
        "CREATE TABLE games (id INTEGER PRIMARY KEY, name TEXT, slug TEXT, installer_slug TEXT, "
        "runner TEXT, directory TEXT, installed INTEGER, configpath TEXT);";
    for (const auto& [configpath, name] : rows)
        sql += "INSERT INTO games (name, runner, installed, configpath) VALUES ('" + name +
               "', 'wine', 1, '" + configpath + "');";
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
}

// A folder the user gives is cleaned, checked and named once; a configured
// one must be absolute.
TEST(PrefixIdentity, CleanedCheckedAndNamed) {
    const fs::path dir = fs::canonical(testing_support::makeTempDir("knobwise-identity-"));
    const testing_support::CurrentDirectory here(dir);
    makePrefix(dir / "p");
    fs::create_directories(dir / "half");
    writeFile(dir / "half/system.reg", "");

    std::string why;
    const std::optional<wineprefix::Identity> p = wineprefix::identify("./x/../p/", {}, why);
    ASSERT_TRUE(p) << why;
    EXPECT_EQ(p->folder, dir / "p");
    EXPECT_EQ(p->name, "p");
    EXPECT_EQ(wineprefix::identify(dir / "p", "Portal 2", why)->name, "Portal 2");
    EXPECT_FALSE(wineprefix::identify("half", {}, why));
    EXPECT_EQ(why, (dir / "half").string() + " is not a Wine prefix: it has no user.reg.");
    EXPECT_FALSE(wineprefix::identify("gone", {}, why));
    EXPECT_EQ(why, "The Wine prefix " + (dir / "gone").string() + " does not exist.");
    EXPECT_EQ(wineprefix::nameOf("/"), "/");

    EXPECT_EQ(wineprefix::configuredPath("~/Games/x/", "/home/u"), "/home/u/Games/x");
    EXPECT_EQ(wineprefix::configuredPath("/a/./b/../c", "/home/u"), "/a/c");
    EXPECT_EQ(wineprefix::configuredPath("Games/x", "/home/u"), "");
    fs::remove_all(dir);
}

TEST(Prefixes, EverySourceNativeAndFlatpakEachPrefixOnceDamagedFilesSkipped) {
    const fs::path home = fs::canonical(testing_support::makeTempDir("knobwise-prefixes-"));
    const Env homeVar("HOME", home.string());
    const Env winePrefix("WINEPREFIX", (home / "custom/").string());
    const fs::path steam = home / ".local/share/Steam", library = home / "My Games/SteamLibrary";
    const fs::path flatSteam = home / ".var/app/com.valvesoftware.Steam/.local/share/Steam";
    const fs::path lutrisFlat = home / ".var/app/net.lutris.Lutris";
    const fs::path heroic = home / "Games/Heroic/Prefixes";
    const fs::path bottles = home / ".local/share/bottles/bottles";
    const fs::path flatBottles = home / ".var/app/com.usebottles.bottles/data/bottles/bottles";

    // Steam: two libraries, the second with a space in its path; ~/.steam/steam
    // leads to the first, which is reached twice; a manifest that is damaged
    // and a game without one are named by their app id.
    writeFile(
        steam / "steamapps/libraryfolders.vdf",
        "\"libraryfolders\"\n{\n\t\"0\"\n\t{\n\t\t\"path\"\t\t\"" + steam.string() +
            "\"\n\t\t\"label\"\t\t\"\"\n\t\t\"apps\"\n\t\t{\n\t\t\t\"570\"\t\t\"1\"\n\t\t}\n\t}"
            "\n\t\"1\"\n\t{\n\t\t\"path\"\t\t\"" +
            library.string() + "\"\n\t}\n}\n");
    fs::create_directories(home / ".steam");
    fs::create_directory_symlink(steam, home / ".steam/steam");
    for (const char* id : {"570", "620", "2000000000"})
        makePrefix(steam / "steamapps/compatdata" / id / "pfx");
    writeFile(steam / "steamapps/appmanifest_570.acf", acf("570", "Dota 2"));
    writeFile(steam / "steamapps/appmanifest_620.acf", "\"AppState\"\n{\n\t\"name\"\t\t\"Portal");
    makePrefix(library / "steamapps/compatdata/1091500/pfx");
    writeFile(library / "steamapps/appmanifest_1091500.acf", acf("1091500", "Cyberpunk 2077"));
    // The Flatpak's list is damaged: its own library is still read.
    writeFile(flatSteam / "steamapps/libraryfolders.vdf", "\"libraryfolders\"\n{\n\t\"0\"\n{");
    makePrefix(flatSteam / "steamapps/compatdata/440/pfx");
    writeFile(flatSteam / "steamapps/appmanifest_440.acf", acf("440", "Team Fortress 2"));

    // Lutris: an older install's file, a newer one's with "~", a damaged one
    // and one whose prefix is no prefix; the Flatpak's database is damaged,
    // so its game goes by its slug.
    writeFile(home / ".config/lutris/games/the-witcher-1690000000.yml",
              "game:\n  exe: " + (home / "Games/the-witcher/drive_c/witcher.exe").string() +
                  "\n  prefix: " + (home / "Games/the-witcher").string() +
                  "\ngame_slug: the-witcher\nname: The Witcher\nrunner: wine\nsystem: {}\n"
                  "wine:\n  version: lutris-GE-Proton8-26-x86_64\n");
    makePrefix(home / "Games/the-witcher");
    writeFile(home / ".local/share/lutris/games/diablo-ii-1700000000.yml",
              "game:\n  arch: win64\n  prefix: ~/Games/diablo-ii\nwine: {}\n");
    makePrefix(home / "Games/diablo-ii");
    writeFile(home / ".local/share/lutris/games/broken-1700000001.yml", "game: [prefix: \n");
    writeFile(home / ".local/share/lutris/games/nothing-1700000002.yml",
              "game:\n  prefix: " + (home / "Games/nothing").string() + "\n");
    lutrisDb(home / ".local/share/lutris/pga.db",
             {{"the-witcher-1690000000", "The Witcher: Enhanced Edition"}});
    // Lutris runs: its database is in WAL mode, and the newest game's row is
    // only in its -wal, beside the -shm.
    sqlite3* running = nullptr;
    ASSERT_EQ(sqlite3_open((home / ".local/share/lutris/pga.db").c_str(), &running), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(running,
                           "PRAGMA journal_mode = WAL; PRAGMA wal_autocheckpoint = 0;"
                           "INSERT INTO games (name, configpath) VALUES "
                           "('Diablo II', 'diablo-ii-1700000000')",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    writeFile(lutrisFlat / "config/lutris/games/quake-1710000000.yml",
              "game:\n  prefix: " + (home / "Games/quake").string() + "\n");
    makePrefix(home / "Games/quake");
    writeFile(lutrisFlat / "data/lutris/pga.db", "not a database");

    // Bottles: a damaged bottle.yml leaves the bottle named by its folder.
    makePrefix(bottles / "Office");
    writeFile(bottles / "Office/bottle.yml",
              "Arch: win64\nCustom_Path: false\nEnvironment: Application\nName: Office 2010\n"
              "Path: Office\nRunner: soda-7.0-9\n");
    makePrefix(bottles / "Broken");
    writeFile(bottles / "Broken/bottle.yml", "Name: [Broken\n");
    makePrefix(flatBottles / "Games");
    writeFile(flatBottles / "Games/bottle.yml", "Name: Gaming\nPath: Games\n");

    // Heroic: a game's settings name a prefix that is also a folder of
    // Prefixes/default/; the Flatpak's names an older one; a damaged file.
    makePrefix(heroic / "default/Fortnite");
    writeFile(
        home / ".config/heroic/GamesConfig/Fortnite.json",
        "{\n  \"Fortnite\": {\n    \"autoInstallDxvk\": true,\n    \"winePrefix\": \"" +
            (heroic / "default/Fortnite").string() +
            "\",\n    \"wineVersion\": {\"bin\": \"/usr/bin/wine\", \"name\": \"Wine Default\", "
            "\"type\": \"wine\"}\n  },\n  \"version\": \"v0\",\n  \"explicit\": true\n}\n");
    makePrefix(heroic / "Hades");
    writeFile(home / ".var/app/com.heroicgameslauncher.hgl/config/heroic/GamesConfig/Min.json",
              "{\"Min\": {\"winePrefix\": \"" + (heroic / "Hades/").string() + "\"}}");
    writeFile(home / ".config/heroic/GamesConfig/Broken.json", "{\"Broken\": {\"winePrefix\": ");

    // Files skipped with a warning: one larger than any configuration file
    // (the bottle goes by its folder's name), nested too deeply, a FIFO
    // (the game goes by its app id).
    makePrefix(bottles / "Huge");
    writeFile(bottles / "Huge/bottle.yml", "Name: Huge\n" + std::string(300 << 10, '#'));
    writeFile(home / ".local/share/lutris/games/deep-1700000003.yml",
              "game:\n  prefix: " + std::string(100, '[') + "\n");
    writeFile(home / ".config/heroic/GamesConfig/Deep.json", std::string(2000, '['));
    makePrefix(steam / "steamapps/compatdata/730/pfx");
    ASSERT_EQ(::mkfifo((steam / "steamapps/appmanifest_730.acf").c_str(), 0600), 0);

    // PlayOnLinux, with a folder that is no prefix; and the user's own.
    makePrefix(home / ".PlayOnLinux/wineprefix/Photoshop");
    fs::create_directories(home / ".PlayOnLinux/wineprefix/Empty");
    makePrefix(home / ".wine");
    makePrefix(home / "custom");

    using S = prefixes::Source;
    const std::vector<std::tuple<fs::path, S, std::string>> expected = {
        {home / ".wine", S::Wine, ".wine"},
        {home / "custom", S::Wine, "custom"},
        {steam / "steamapps/compatdata/2000000000/pfx", S::Steam, "2000000000"},
        {steam / "steamapps/compatdata/620/pfx", S::Steam, "620"},
        {steam / "steamapps/compatdata/730/pfx", S::Steam, "730"},
        {library / "steamapps/compatdata/1091500/pfx", S::Steam, "Cyberpunk 2077"},
        {steam / "steamapps/compatdata/570/pfx", S::Steam, "Dota 2"},
        {flatSteam / "steamapps/compatdata/440/pfx", S::Steam, "Team Fortress 2"},
        {home / "Games/diablo-ii", S::Lutris, "Diablo II"},
        {home / "Games/quake", S::Lutris, "quake"},
        {home / "Games/the-witcher", S::Lutris, "The Witcher: Enhanced Edition"},
        {bottles / "Broken", S::Bottles, "Broken"},
        {flatBottles / "Games", S::Bottles, "Gaming"},
        {bottles / "Huge", S::Bottles, "Huge"},
        {bottles / "Office", S::Bottles, "Office 2010"},
        {heroic / "default/Fortnite", S::Heroic, "Fortnite"},
        {heroic / "Hades", S::Heroic, "Hades"},
        {home / ".PlayOnLinux/wineprefix/Photoshop", S::PlayOnLinux, "Photoshop"},
    };
    // Lutris's files, byte for byte, and the names in its folder.
    const auto lutrisFiles = [&] {
        std::map<fs::path, std::string> files;
        for (const fs::directory_entry& e : fs::directory_iterator(home / ".local/share/lutris"))
            files[e.path()] = e.is_regular_file() ? testing_support::readFile(e.path()) : "";
        return files;
    };
    const std::map<fs::path, std::string> lutrisBefore = lutrisFiles();
    std::vector<std::string> warnings;
    const std::vector<prefixes::Prefix> found = prefixes::find(&warnings);
    EXPECT_EQ(lutrisFiles(), lutrisBefore);
    EXPECT_EQ(lutrisBefore.size(), 4u);  // games/, pga.db, its -wal and -shm
    sqlite3_close(running);
    ASSERT_EQ(warnings.size(), 4u);
    EXPECT_EQ(warnings[0], (home / ".steam/steam/steamapps/appmanifest_730.acf").string() +
                               " is a FIFO (a named pipe), not a file; it is skipped");
    for (const char* file : {"lutris/games/deep-1700000003.yml", "bottles/bottles/Huge/bottle.yml",
                             "heroic/GamesConfig/Deep.json"}) {
        EXPECT_EQ(std::count_if(warnings.begin(), warnings.end(),
                                [&](const std::string& w) { return w.find(file) != w.npos; }),
                  1)
            << file;
    }
    ASSERT_EQ(found.size(), expected.size());
    for (size_t i = 0; i < found.size(); ++i) {
        const auto& [path, source, name] = expected[i];
        EXPECT_EQ(found[i].path, path) << i;
        EXPECT_EQ(found[i].source, source) << path;
        EXPECT_EQ(found[i].name, name) << path;
        EXPECT_FALSE(found[i].wineRunning) << path;
    }

    // A home with none of it finds nothing, and a relative $WINEPREFIX is
    // not taken.
    const Env emptyHome("HOME", (home / "Games/nothing").string());
    const Env relative("WINEPREFIX", "custom");
    const testing_support::CurrentDirectory here(home);
    EXPECT_TRUE(prefixes::find().empty());
    fs::remove_all(home);
}

TEST(Vdf, ReadsWhatSteamWritesAndRefusesTheRest) {
    const std::optional<vdf::Node> ok = vdf::parse(
        "\xEF\xBB\xBF// written by Steam\n\"Root\"\n{\n\t\"Path\"\t\t\"C:\\\\Games\\\\\\\"A\\\"\"\n"
        "\tbare\tword // a comment\n\t\"tabs\"\t\"a\\tb\\nc\\q\"\n\t\"block\"\n\t{\n\t}\n}\n");
    ASSERT_TRUE(ok);
    const vdf::Node* root = ok->find("root");
    ASSERT_TRUE(root && root->isBlock);
    EXPECT_EQ(root->string("path"), "C:\\Games\\\"A\"");
    EXPECT_EQ(root->string("bare"), "word");
    EXPECT_EQ(root->string("tabs"), "a\tb\nc\\q");
    EXPECT_EQ(root->string("block"), std::nullopt);
    EXPECT_TRUE(root->find("block")->pairs.empty());

    const std::string deep = std::string(vdf::kMaxDepth, '{');
    for (const std::string& bad :
         {std::string("\"a\" \"unclosed"), std::string("\"a\" { \"b\" \"c\""), std::string("}"),
          std::string("\"key without value\""), std::string("\"a\" }"), std::string("{ }"),
          "\"k\"" + std::string(vdf::kMaxDepth + 1, '{')}) {
        EXPECT_FALSE(vdf::parse(bad)) << bad;
    }
    EXPECT_FALSE(vdf::parse("\"k\" " + deep));  // unclosed, however deep
    EXPECT_TRUE(vdf::parse(""));
}

}  // namespace
