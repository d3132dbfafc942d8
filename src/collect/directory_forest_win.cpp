// The dump's forest on the directory classes: wide text at the directory's
// side, the system code page at the dump's.

#include <windows.h>

#include <string>

#include "adsi/adsi_search_win.h"
#include "adsi/adsi_system_info_win.h"
#include "collect/active_directory_dump.h"
#include "sys/code_page_win.h"

namespace {

// A character the code page lacks becomes "?" rather than a look-alike, so
// a name is never silently turned into another real name.
bool Narrow(const wchar_t* wide, size_t size, std::string* text) {
  return sys::CodePageText(wide, size, WC_NO_BEST_FIT_CHARS, text);
}

class SearchRows : public DirectoryRows {
 public:
  SearchRows(std::unique_ptr<CADSISearch> search, std::vector<std::wstring> attributes)
      : search_(std::move(search)), attributes_(std::move(attributes)) {}

  bool Next(DirectoryRow* row, long* failure) override {
    *failure = 0;
    row->clear();
    if (done_) return false;
    const HRESULT step = search_->NextRow();
    if (step != S_OK) {
      done_ = true;
      if (FAILED(step)) *failure = step;
      return false;
    }
    row->resize(attributes_.size());
    for (size_t i = 0; i < attributes_.size(); ++i) {
      CADSIValues values;
      const HRESULT read = search_->GetColumnValues(attributes_[i].c_str(), values);
      if (FAILED(read)) {
        done_ = true;
        *failure = read;
        row->clear();
        return false;
      }
      CADSIValue* value = nullptr;
      for (HRESULT hr = values.GetFirst(value); SUCCEEDED(hr); hr = values.GetNext(value)) {
        _bstr_t text;
        if (FAILED(value->GetValueAsString(text))) continue;
        std::string narrow;
        if (!Narrow(text.length() > 0 ? static_cast<const wchar_t*>(text) : L"", text.length(),
                    &narrow)) {
          continue;
        }
        (*row)[i].push_back(std::move(narrow));
      }
    }
    return true;
  }

 private:
  std::unique_ptr<CADSISearch> search_;
  std::vector<std::wstring> attributes_;
  bool done_ = false;
};

class AdsiForest : public DirectoryForest {
 public:
  AdsiForest(bool systemTrees, std::vector<std::string> trees, std::string server,
             bool globalCatalog, long pageSize)
      : systemTrees_(systemTrees),
        trees_(std::move(trees)),
        server_(std::move(server)),
        globalCatalog_(globalCatalog),
        pageSize_(pageSize) {}

  bool ClientPresent() override { return ADsFunctions() != nullptr; }

  bool TreeNames(std::vector<std::string>* trees, long* failure) override {
    *failure = 0;
    trees->clear();
    if (!systemTrees_) {
      *trees = trees_;
      return true;
    }
    CADSISystemInfo sysInfo;
    _bstr_t* bsTreeDNs = nullptr;
    unsigned int nDNs = 0;
    const HRESULT hr = sysInfo.EnumerateTrees(bsTreeDNs, nDNs);
    std::unique_ptr<_bstr_t[]> owned(bsTreeDNs);
    if (FAILED(hr)) {
      *failure = hr;
      return false;
    }
    for (unsigned int i = 0; i < nDNs; ++i) {
      std::string name;
      if (Narrow(bsTreeDNs[i].length() > 0 ? static_cast<const wchar_t*>(bsTreeDNs[i]) : L"",
                 bsTreeDNs[i].length(), &name)) {
        trees->push_back(name);
      }
    }
    return true;
  }

  std::unique_ptr<DirectoryRows> Search(const std::string& tree, const std::string& filter,
                                        const std::vector<std::string>& attributes,
                                        long* failure) override {
    *failure = 0;
    auto search = std::make_unique<CADSISearch>();
    HRESULT hr = search->SetSearchFilter(filter.c_str());
    if (SUCCEEDED(hr)) {
      hr = search->Attach(_bstr_t(sys::WideText(tree).c_str()),
                          server_.empty() ? nullptr : server_.c_str(), globalCatalog_ ? 1 : 0);
    }
    if (SUCCEEDED(hr) && pageSize_ != 1000) hr = search->SetPageSize(pageSize_);
    std::vector<std::wstring> names;
    std::vector<wchar_t*> pointers;
    if (SUCCEEDED(hr)) {
      for (const std::string& attribute : attributes) names.push_back(sys::WideText(attribute));
      for (std::wstring& name : names) pointers.push_back(&name[0]);
      hr = search->ExecuteSearch(pointers.data(), static_cast<unsigned long>(pointers.size()));
    }
    if (FAILED(hr)) {
      *failure = hr;
      return nullptr;
    }
    return std::make_unique<SearchRows>(std::move(search), std::move(names));
  }

 private:
  bool systemTrees_;
  std::vector<std::string> trees_;
  std::string server_;
  bool globalCatalog_;
  long pageSize_;
};

}  // namespace

std::unique_ptr<DirectoryForest> SystemDirectoryForest() {
  return std::make_unique<AdsiForest>(true, std::vector<std::string>(), std::string(), true, 1000);
}

std::unique_ptr<DirectoryForest> DirectoryForestAt(const std::vector<std::string>& trees,
                                                   const std::string& server, bool globalCatalog,
                                                   long pageSize) {
  return std::make_unique<AdsiForest>(false, trees, server, globalCatalog, pageSize);
}
