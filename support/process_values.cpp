#include "support/process_values.h"

#include <cstdio>

volatile sig_atomic_t stop;
volatile sig_atomic_t usr1_flag;

char gv_deviceid[64] = "unknown";
char gv_netmountpoint[4096] = "/mnt/usb/";
int gv_barrier_type = 1;
char gv_mountpoints[3][4096];
char _GLOBAL_CONF_FULLNAME_[4096];
int gv_access_by_button;

const char gv_accessbasepath[] = "/var/local/";
const char gv_accessbase[] = "accessbase.tpa";
const char gv_netnumbase[] = "netnumbase.tpn";
const char gv_netpassbase[] = "netpassbase.tpn";
const char gv_netpassbase_csv[] = "netpassbase.csv";
const char gv_passbase[] = "passbase.tpp";
const char gv_passbase_csv[] = "passbase.csv";
const char gv_last_recognized_jpeg[] = "/tmp/last_recognized.jpeg";

void build_accessbase_path(char* path, size_t size) {
    snprintf(path, size, "%s/%s", gv_accessbasepath, gv_accessbase);
}

void netbase_path(char (&path)[netbase_path_size], const char* name) {
    snprintf(path, sizeof path, "%.*s/%s", static_cast<int>(sizeof gv_netmountpoint),
             gv_netmountpoint, name);
}
