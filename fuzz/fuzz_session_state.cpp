// Any bytes as "SessionState.json": decoding never crashes, a refusal always says why,
// and whatever decodes writes back to the same state.
#include "documents/DocumentSessionState.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray json = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    QString error;
    const std::optional<DocumentSessionState> state = DocumentSessionState::decode(json, &error);
    if (!state) {
        if (error.isEmpty())
            std::abort();
        return 0;
    }
    const std::optional<DocumentSessionState> again = DocumentSessionState::decode(state->encode());
    if (!again || !(*again == *state))
        std::abort();
    return 0;
}
