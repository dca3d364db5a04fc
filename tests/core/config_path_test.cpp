#include "tests/core/config_fixture.h"

using ConfigPath = ConfigTest;

TEST_F(ConfigPath, FilesOfTheConfigurationFolder) {
    EXPECT_EQ(std::string(build_streams_ini_path()), ini_path());
    EXPECT_EQ(std::string(build_conf_path("TZ")), dir + "/TZ");
    EXPECT_EQ(std::string(_GLOBAL_CONF_FULLNAME_), dir + "/TZ");
}

TEST_F(ConfigPath, DefaultFolderDoublesTheSlash) {
    unsetenv("VELM_CONF_DIR");
    EXPECT_EQ(std::string(build_streams_ini_path()), "/etc//streams.ini");
    EXPECT_EQ(std::string(build_conf_path("TZ")), "/etc//TZ");
}

// A cut path could name an unrelated file that happens to exist.
TEST_F(ConfigPath, PathTooLongForTheBufferIsEmpty) {
    const std::string long_dir(sizeof _GLOBAL_CONF_FULLNAME_, 'd');
    setenv("VELM_CONF_DIR", long_dir.c_str(), 1);
    EXPECT_STREQ(build_streams_ini_path(), "");
}

// Every reader rebuilds the path before it opens the file, so the buffer
// names the configuration file again after another file's path was built.
TEST_F(ConfigPath, EveryReaderRebuildsThePath) {
    using Reader = void (*)();
    const Reader readers[] = {
        get_deviceid,
        read_startup_settings,
        [] { load_config(); },
        [] { get_mountpoints(); },
    };
    for (Reader read : readers) {
        build_conf_path("TZ");
        read();
        EXPECT_EQ(std::string(_GLOBAL_CONF_FULLNAME_), ini_path());
    }
}
