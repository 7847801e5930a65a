// libFuzzer target: any bytes, taken for a Jet file, through the whole loader. The
// loader must refuse them or copy them; the sanitizers catch anything else.

#include "storage/jet/jet_header.h"
#include "storage/jet/jet_storage.h"

#include <sqlite3.h>

#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    using namespace accessodbc;
    std::vector<unsigned char> bytes(data, data + size);
    // Most mutations change the length; cut to whole pages, the input reaches libmdb
    // instead of ending at the length check.
    const jet::Kind kind = jet::recognise(bytes.data(), bytes.size());
    if (kind == jet::Kind::Jet3 || kind == jet::Kind::Jet4 || kind == jet::Kind::Ace)
        bytes.resize(bytes.size() - bytes.size() % jet::pageSize(kind));
    // Under the ACE driver's name the loader takes every file the Jet name takes, and
    // .accdb files besides.
    const JetOpenResult result = openJetImage(bytes, std::string(), AccessEngine::Ace);
    sqlite3_close_v2(result.db);
    return 0;
}
