#include "i18n/WinSkinStore.h"

#include <cstdint>

namespace torvane {

TSkinCollectionItem::TSkinCollectionItem(TSkinCollection& collection, int id)
    : FCollection(collection), FId(id), FName("SkinItem" + std::to_string(id)) {}

void TSkinCollectionItem::SetName(const std::string& name) {
    if (name == FName) {
        return;
    }
    for (const auto& other : FCollection.FItems) {
        if (other.get() != this && other->FName == name) {
            throw ESkinStoreError("The name " + name + " is already used.");
        }
    }
    FName = name;
}

void TSkinCollectionItem::Assign(const TSkinCollectionItem& source) {
    if (&source == this) {
        return;
    }
    SetName(source.FName);
    FData = source.FData;
}

TSkinCollectionItem& TSkinCollection::Add() {
    FItems.push_back(std::make_unique<TSkinCollectionItem>(*this, FNextId++));
    return *FItems.back();
}

const TSkinCollectionItem* TSkinCollection::Find(std::string_view name) const {
    for (const auto& item : FItems) {
        if (item->Name() == name) {
            return item.get();
        }
    }
    return nullptr;
}

void TSkinCollection::Clear() {
    FItems.clear();
}

void TSkinCollection::Assign(const TSkinCollection& source) {
    if (&source == this) {
        return;
    }
    Clear();
    for (const auto& item : source.FItems) {
        TSkinCollectionItem& copy = Add();
        copy.SetData(item->Data());
        copy.SetName(item->Name());
    }
}

namespace {

constexpr std::uint8_t TagList = 0x01;
constexpr std::uint8_t TagString = 0x06;
constexpr std::uint8_t TagBinary = 0x0A;
constexpr std::uint8_t TagCollection = 0x0E;
constexpr std::uint8_t TagEnd = 0x00;

void PutShortString(std::string& out, std::string_view s) {
    out += static_cast<char>(static_cast<std::uint8_t>(s.size()));
    out.append(s.substr(0, 255));
}

class TReader {
public:
    explicit TReader(std::string_view data) : FData(data) {}
    bool Byte(std::uint8_t& b) {
        if (FPos >= FData.size()) {
            return false;
        }
        b = static_cast<std::uint8_t>(FData[FPos++]);
        return true;
    }
    bool Peek(std::uint8_t& b) const {
        if (FPos >= FData.size()) {
            return false;
        }
        b = static_cast<std::uint8_t>(FData[FPos]);
        return true;
    }
    bool ShortString(std::string& s) {
        std::uint8_t n = 0;
        if (!Byte(n) || FData.size() - FPos < n) {
            return false;
        }
        s.assign(FData.substr(FPos, n));
        FPos += n;
        return true;
    }
    bool Bytes(std::size_t n, std::string& s) {
        if (FData.size() - FPos < n) {
            return false;
        }
        s.assign(FData.substr(FPos, n));
        FPos += n;
        return true;
    }
    bool UInt32(std::uint32_t& v) {
        std::string b;
        if (!Bytes(4, b)) {
            return false;
        }
        v = 0;
        for (int i = 3; i >= 0; --i) {
            v = (v << 8) | static_cast<std::uint8_t>(b[static_cast<std::size_t>(i)]);
        }
        return true;
    }

private:
    std::string_view FData;
    std::size_t FPos = 0;
};

} // namespace

std::string WriteStoreForm(const TSkinStore& store) {
    std::string out;
    PutShortString(out, "Store");
    out += static_cast<char>(TagCollection);
    const TSkinCollection& items = store.Store();
    for (int i = 0; i < items.Count(); ++i) {
        const TSkinCollectionItem& item = items.Item(i);
        out += static_cast<char>(TagList);
        PutShortString(out, "Name");
        out += static_cast<char>(TagString);
        PutShortString(out, item.Name());
        PutShortString(out, "DataStream");
        out += static_cast<char>(TagBinary);
        const auto n = static_cast<std::uint32_t>(item.Data().size());
        for (int k = 0; k < 4; ++k) {
            out += static_cast<char>((n >> (8 * k)) & 0xFF);
        }
        out += item.Data();
        out += static_cast<char>(TagEnd);
    }
    out += static_cast<char>(TagEnd);
    return out;
}

bool ReadStoreForm(std::string_view form, TSkinStore& store) {
    TSkinCollection& items = store.Store();
    items.Clear();
    TReader r(form);
    std::string prop;
    std::uint8_t tag = 0;
    if (!r.ShortString(prop) || prop != "Store" || !r.Byte(tag) || tag != TagCollection) {
        return false;
    }
    for (;;) {
        if (!r.Byte(tag)) {
            items.Clear();
            return false;
        }
        if (tag == TagEnd) {
            return true;
        }
        if (tag != TagList) {
            items.Clear();
            return false;
        }
        std::string name;
        std::string data;
        for (;;) {
            std::uint8_t next = 0;
            if (!r.Peek(next)) {
                items.Clear();
                return false;
            }
            if (next == TagEnd) {
                (void)r.Byte(next);
                break;
            }
            std::uint8_t valueTag = 0;
            if (!r.ShortString(prop) || !r.Byte(valueTag)) {
                items.Clear();
                return false;
            }
            if (prop == "Name" && valueTag == TagString) {
                if (!r.ShortString(name)) {
                    items.Clear();
                    return false;
                }
            } else if (prop == "DataStream" && valueTag == TagBinary) {
                std::uint32_t n = 0;
                if (!r.UInt32(n) || !r.Bytes(n, data)) {
                    items.Clear();
                    return false;
                }
            } else {
                items.Clear();
                return false;
            }
        }
        TSkinCollectionItem& item = items.Add();
        try {
            item.SetName(name);
        } catch (const ESkinStoreError&) {
            items.Clear();
            return false;
        }
        item.SetData(std::move(data));
    }
}

} // namespace torvane
