#include "i18n/WinSkinStore.h"

#include "platform/ByteReader.h"

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

// A short string of the form: a length byte and that many bytes.
std::string ShortString(platform::TByteCursor& form) {
    const std::uint8_t n = form.U8();
    return std::string(form.Bytes(n));
}

// Reads the items into items; throws TByteRangeError when the form ends early, and false
// for a form that is whole but not a store.
bool ReadItems(platform::TByteCursor& form, TSkinCollection& items) {
    if (ShortString(form) != "Store" || form.U8() != TagCollection) {
        return false;
    }
    for (;;) {
        const std::uint8_t tag = form.U8();
        if (tag == TagEnd) {
            return true;
        }
        if (tag != TagList) {
            return false;
        }
        std::string name;
        std::string data;
        while (form.Peek() != TagEnd) {
            const std::string prop = ShortString(form);
            const std::uint8_t valueTag = form.U8();
            if (prop == "Name" && valueTag == TagString) {
                name = ShortString(form);
            } else if (prop == "DataStream" && valueTag == TagBinary) {
                data = std::string(form.Bytes(form.U32LE()));
            } else {
                return false;
            }
        }
        form.Skip(1); // the item's end
        TSkinCollectionItem& item = items.Add();
        try {
            item.SetName(name);
        } catch (const ESkinStoreError&) {
            return false;
        }
        item.SetData(std::move(data));
    }
}

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
    platform::TByteCursor cursor{platform::TByteReader(form)};
    bool read = false;
    try {
        read = ReadItems(cursor, items);
    } catch (const platform::TByteRangeError&) {
        read = false; // the form ends in the middle of a value
    }
    if (!read) {
        items.Clear();
    }
    return read;
}

} // namespace torvane
