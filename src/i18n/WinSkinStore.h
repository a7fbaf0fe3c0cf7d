#pragma once
// A named store of binary items. The tool carries its language packs in one: three items
// "b5", "cn" and "en", each holding a complete pack file.

#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace torvane {

class TSkinCollection;
class TSkinStore;

// Raised when an item is given a name that another item of its collection has.
class ESkinStoreError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class TSkinCollectionItem {
public:
    TSkinCollectionItem(TSkinCollection& collection, int id);

    [[nodiscard]] int Id() const { return FId; }
    [[nodiscard]] const std::string& Name() const { return FName; }
    // Throws ESkinStoreError "The name <name> is already used." when another item of the
    // collection has that name; the name is then unchanged.
    void SetName(const std::string& name);
    [[nodiscard]] std::string DisplayName() const { return FName; }

    // A hook for a design-time editor: always reads "Load Skin", writing does nothing.
    [[nodiscard]] std::string SkinData() const { return "Load Skin"; }
    void SetSkinData(const std::string&) {}

    [[nodiscard]] int DataSize() const { return static_cast<int>(FData.size()); }
    [[nodiscard]] const std::string& Data() const { return FData; }
    void SetData(std::string data) { FData = std::move(data); }

    // Copies the name and the whole stream of another item.
    void Assign(const TSkinCollectionItem& source);

private:
    TSkinCollection& FCollection;
    int FId;
    std::string FName;
    std::string FData;
};

class TSkinCollection {
public:
    explicit TSkinCollection(TSkinStore* owner) : FOwner(owner) {}
    TSkinCollection(const TSkinCollection&) = delete;
    TSkinCollection& operator=(const TSkinCollection&) = delete;

    // A new item named "SkinItem" + its id.
    TSkinCollectionItem& Add();
    [[nodiscard]] int Count() const { return static_cast<int>(FItems.size()); }
    [[nodiscard]] TSkinCollectionItem& Item(int index) { return *FItems.at(static_cast<std::size_t>(index)); }
    [[nodiscard]] const TSkinCollectionItem& Item(int index) const {
        return *FItems.at(static_cast<std::size_t>(index));
    }
    // The first item of that name, or nullptr.
    [[nodiscard]] const TSkinCollectionItem* Find(std::string_view name) const;
    void Clear();
    // Replaces the items by copies of the source's, item by item.
    void Assign(const TSkinCollection& source);
    [[nodiscard]] TSkinStore* Owner() const { return FOwner; }

private:
    friend class TSkinCollectionItem;
    TSkinStore* FOwner;
    int FNextId = 0;
    std::vector<std::unique_ptr<TSkinCollectionItem>> FItems;
};

class TSkinStore {
public:
    TSkinStore() : FStore(this) {}
    [[nodiscard]] TSkinCollection& Store() { return FStore; }
    [[nodiscard]] const TSkinCollection& Store() const { return FStore; }
    void SetStore(const TSkinCollection& source) { FStore.Assign(source); }

private:
    TSkinCollection FStore;
};

// The stored form of a store: the property name "Store", the collection tag 0x0E, per item
// the list tag 0x01, "Name" with the string tag 0x06, "DataStream" with the binary tag 0x0A
// and a 32-bit little-endian byte count, 0x00 closing the item; a final 0x00.
[[nodiscard]] std::string WriteStoreForm(const TSkinStore& store);
// Replaces the store's items by those of a stored form. False (store emptied) when the
// bytes are not a well-formed stored form.
[[nodiscard]] bool ReadStoreForm(std::string_view form, TSkinStore& store);

} // namespace torvane
