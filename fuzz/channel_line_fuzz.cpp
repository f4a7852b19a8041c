// SPDX-License-Identifier: GPL-3.0-or-later
// The channel-list reader: file bytes decoded to text (UTF-8, or the single-byte code page of an
// older install), cut into lines, each line into an entry. Every entry read must survive being
// written and read back unchanged, and valid UTF-8 must decode to the same characters.
#include <QByteArray>
#include <QString>
#include <vector>

#include "channels/channel_file.h"
#include "fuzz_support.h"
#include "text/server_text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QString text = velmora::DecodeChannelFileBytes(bytes);
    if (velmora::IsValidUtf8({bytes.constData(), size})) {
        // Byte-order marks may go (files pasted together carry one at a line start).
        const auto without_bom = [](QString s) { return s.remove(QChar(0xFEFF)); };
        FUZZ_CHECK(without_bom(text) == without_bom(QString::fromUtf8(bytes)));
    }

    std::vector<velmora::ChannelEntry> entries;
    for (const QString& line : velmora::SplitChannelFileLines(text)) {
        FUZZ_CHECK(!line.contains(u'\r') && !line.contains(u'\n'));
        const velmora::ChannelEntry e = velmora::ChannelEntryFromLine(line);
        FUZZ_CHECK(velmora::ChannelEntryFromLine(velmora::FormatChannelLine(e)) == e);
        entries.push_back(e);
    }

    const QString again = velmora::DecodeChannelFileBytes(velmora::EncodeChannelFile(entries));
    const QStringList lines = velmora::SplitChannelFileLines(again);
    FUZZ_CHECK(static_cast<std::size_t>(lines.size()) == entries.size());
    for (qsizetype i = 0; i < lines.size(); ++i)
        FUZZ_CHECK(velmora::ChannelEntryFromLine(lines[i]) == entries[static_cast<std::size_t>(i)]);
    return 0;
}
