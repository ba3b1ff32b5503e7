// Module settings and configuration files: the line reader, the field splitter and the
// loader's check of a whole file take any bytes without a crash.
#include "files/FileFormat.h"
#include "files/LoadSteps.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray content(reinterpret_cast<const char*>(data), int(size));
    const QList<QByteArray> lines = FileFormat::splitLines(content);
    for (const QByteArray& line : lines) {
        FileFormat::headerFields(line);
        FileFormat::valueFields(line);
        QByteArray field;
        for (int pos = 1; pos > 0;)
            pos = FileFormat::NextField(pos, ' ', line, field);
    }
    const int first = LoadSteps::firstFileError(lines, size % 2 == 0);
    if (first >= int(lines.size()))
        __builtin_trap();
    return 0;
}
