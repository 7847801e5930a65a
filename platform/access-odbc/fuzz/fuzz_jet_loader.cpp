// libFuzzer target: any bytes, taken for a Jet file, through the whole loader. The
// loader must refuse them or copy them; the sanitizers catch anything else.

#include "jet/jet_storage.h"

#include <sqlite3.h>

#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::vector<unsigned char> bytes(data, data + size);
    const accessodbc::JetOpenResult result = accessodbc::openJetImage(bytes, std::string());
    sqlite3_close_v2(result.db);
    return 0;
}
