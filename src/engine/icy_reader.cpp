// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/icy_reader.h"

#include <algorithm>
#include <cstring>

namespace engine {

void IcyReader::Feed(const std::uint8_t* data, std::size_t size, const AudioFn& audio,
                     const MetaFn& meta) {
    if (metaint_ == 0) {
        if (size) audio(data, size);
        return;
    }
    while (size > 0) {
        switch (phase_) {
            case Phase::Audio: {
                const std::size_t n = std::min(left_, size);
                if (n) audio(data, n);
                data += n;
                size -= n;
                left_ -= n;
                if (left_ == 0) phase_ = Phase::Length;
                break;
            }
            case Phase::Length: {
                left_ = static_cast<std::size_t>(*data) * 16;
                ++data;
                --size;
                block_.clear();
                if (left_ == 0) {
                    // An empty block: the title did not change.
                    phase_ = Phase::Audio;
                    left_ = metaint_;
                } else {
                    phase_ = Phase::Meta;
                }
                break;
            }
            case Phase::Meta: {
                const std::size_t n = std::min(left_, size);
                block_.append(reinterpret_cast<const char*>(data), n);
                data += n;
                size -= n;
                left_ -= n;
                if (left_ == 0) {
                    // Blocks are padded with zero bytes; the text ends at the first one.
                    const auto end = block_.find('\0');
                    std::string text = block_.substr(0, end);
                    if (!text.empty()) meta(text);
                    phase_ = Phase::Audio;
                    left_ = metaint_;
                }
                break;
            }
        }
    }
}

}  // namespace engine
