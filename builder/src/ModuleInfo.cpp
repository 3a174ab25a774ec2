#include "ModuleInfo.h"

#include <vector>

namespace tovex {
namespace {

class ClassReader {
public:
    explicit ClassReader(const Bytes& data) : data_(data) {}
    bool has(std::size_t count) const { return at_ + count <= data_.size(); }
    uint32_t u1() { return has(1) ? data_[at_++] : (failed_ = true, 0); }
    uint32_t u2() {
        if (!has(2)) return failed_ = true, 0;
        uint32_t value = (uint32_t{data_[at_]} << 8) | data_[at_ + 1];
        at_ += 2;
        return value;
    }
    uint32_t u4() { return (u2() << 16) | u2(); }
    void skip(std::size_t count) { has(count) ? void(at_ += count) : void(failed_ = true); }
    std::size_t at() const { return at_; }
    bool failed() const { return failed_; }

private:
    const Bytes& data_;
    std::size_t at_ = 0;
    bool failed_ = false;
};

}  // namespace

std::optional<ModuleFacts> readModuleFacts(const Bytes& data) {
    ClassReader in(data);
    if (in.u4() != 0xCAFEBABE) return std::nullopt;
    in.skip(4);
    std::size_t count = in.u2();
    std::vector<std::string> utf8(count);
    std::vector<uint32_t> reference(count);  // of Class, Module and Package constants: their name's index
    for (std::size_t i = 1; i < count && !in.failed(); ++i) {
        switch (in.u1()) {
            case 1: {
                std::size_t length = in.u2();
                if (!in.has(length)) return std::nullopt;
                utf8[i].assign(reinterpret_cast<const char*>(&data[in.at()]), length);
                in.skip(length);
                break;
            }
            case 7:
            case 19:
            case 20: reference[i] = in.u2(); break;
            case 8:
            case 16: in.skip(2); break;
            case 15: in.skip(3); break;
            case 3:
            case 4:
            case 9:
            case 10:
            case 11:
            case 12:
            case 17:
            case 18: in.skip(4); break;
            case 5:
            case 6:
                in.skip(8);
                ++i;  // takes two entries
                break;
            default: return std::nullopt;
        }
    }
    auto text = [&](uint32_t index) { return index < count ? utf8[index] : std::string(); };
    in.skip(6);
    in.skip(2 * std::size_t{in.u2()});                               // interfaces
    for (int members = 0; members < 2 && !in.failed(); ++members) {  // fields, then methods
        for (std::size_t i = in.u2(); i > 0 && !in.failed(); --i) {
            in.skip(6);
            for (std::size_t a = in.u2(); a > 0 && !in.failed(); --a) {
                in.skip(2);
                in.skip(in.u4());
            }
        }
    }
    ModuleFacts facts;
    for (std::size_t a = in.u2(); a > 0 && !in.failed(); --a) {
        std::string name = text(in.u2());
        uint32_t length = in.u4();
        std::size_t end = in.at() + length;
        if (name == "ModuleTarget") {
            facts.platform = text(in.u2());
        } else if (name == "Module") {
            in.skip(4);  // the module's name and flags
            facts.version = text(in.u2());
        }
        if (in.at() > end) return std::nullopt;
        in.skip(end - in.at());
    }
    if (in.failed()) return std::nullopt;
    return facts;
}

}  // namespace tovex
