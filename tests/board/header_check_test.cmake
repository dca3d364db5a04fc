# The units of cmake/board_check accept a board SDK's header that declares the
# calls as the service does, C-style and without guards, and fail the build
# on each kind of difference that would pass wrong arguments on the board.
include(${CMAKE_CURRENT_LIST_DIR}/judge.cmake)

function(expect outcome library mention text)
  file(REMOVE_RECURSE ${SCRATCH})
  file(WRITE ${SCRATCH}/sdk.h "${text}\n")
  execute_process(
    COMMAND ${CXX} -std=c++17 -fsyntax-only -Wall -Wextra -Werror -I${SOURCE_DIR}
            "-DBOARD_SDK_HEADER=\"${SCRATCH}/sdk.h\"" ${SOURCE_DIR}/cmake/board_check/${library}.cpp
    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  judge(${outcome} "${library}: the header" "${mention}" "${result}" "${output}")
endfunction()

set(config_calls "
typedef struct config_file* CONFIG_HANDLE;
CONFIG_HANDLE ConfigOpen(const char* path, int flags);
int ConfigGetInt(CONFIG_HANDLE handle, int* dest, const char* section, const char* key);
int ConfigClose(CONFIG_HANDLE handle);")
expect(passed config "" "${config_calls}
int ConfigGetStr(CONFIG_HANDLE handle, char* dest, const char* section, const char* key, int size);")
expect(refused config "ConfigGetStr" "${config_calls}
int ConfigGetStr(CONFIG_HANDLE handle, char* dest, const char* section, const char* key, long long size);")
expect(refused config "CONFIG_HANDLE" "typedef void* CONFIG_HANDLE;")

set(shmgr_types "#include <stdint.h>
typedef struct shmgr_connection* SHMGR_CONNECTION;
typedef struct shmgr_block* SHMGR_BLOCK;")
expect(passed shmgr "" "${shmgr_types}
int shmgrSetFrameTime(SHMGR_BLOCK block, int64_t frame_time);
int shmgrSetFrameNumber(SHMGR_BLOCK block, uint32_t frame_number);
int shmgrReturnMemory(SHMGR_CONNECTION connection, SHMGR_BLOCK* block);")
# The width of the frame time decides the registers on ARM.
expect(refused shmgr "shmgrSetFrameTime" "${shmgr_types}
int shmgrSetFrameTime(SHMGR_BLOCK block, int32_t frame_time);")
expect(refused shmgr "SHMGR_BLOCK" "typedef uint16_t SHMGR_BLOCK;")
# A header of C++ declarations overloads the call instead of clashing with it.
expect(refused shmgr "shmgrSetLen" "${shmgr_types}
extern \"C++\" int shmgrSetLen(SHMGR_BLOCK block, long long length);")

set(stmcc_calls "
typedef struct stmcc stmcc_t;
stmcc_t* stmcc_new(void);
int stmcc_start_as_msg_queue_client(stmcc_t* handle, stmcc_client_rec_t record);
void stmcc_delete(stmcc_t* handle);")
expect(passed statemgr "" "typedef struct { int id; char name[256]; } stmcc_client_rec_t;${stmcc_calls}
int stmcc_wait_for_change_state(stmcc_t* handle, char* name, int* value, int flags);")
expect(refused statemgr "260 bytes" "typedef struct { int id; char name[128]; } stmcc_client_rec_t;${stmcc_calls}")
expect(refused statemgr "layout" "typedef struct { short id; char name[258]; } stmcc_client_rec_t;${stmcc_calls}")
expect(refused statemgr "stmcc_wait_for_change_state" "typedef struct { int id; char name[256]; } stmcc_client_rec_t;${stmcc_calls}
int stmcc_wait_for_change_state(stmcc_t* handle, char* name, short* value, int flags);")
expect(refused statemgr "stmcc_delete" "typedef struct { int id; char name[256]; } stmcc_client_rec_t;
typedef struct stmcc stmcc_t;
int stmcc_delete(stmcc_t* handle);")

# Our stand-ins' own headers, which the board in a box installs as its SDK's.
foreach(library_header config:platform/config/config.h shmgr:platform/shmgr/shmgr.h
                       statemgr:platform/statemgr/stmcc.h)
  string(REPLACE ":" ";" pair ${library_header})
  list(GET pair 0 library)
  list(GET pair 1 header)
  file(READ ${SOURCE_DIR}/${header} text)
  expect(passed ${library} "" "${text}")
endforeach()
