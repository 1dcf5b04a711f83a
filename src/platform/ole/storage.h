// IStorage on the root of a compound file or on a storage element.
#pragma once

#include "platform/ole/com_object.h"
#include "platform/ole/shared_file.h"

namespace platform::ole {

class Storage final : public ComObject<IStorage> {
 public:
  // The root: it owns the file and closes it at its last release.
  static Storage* CreateRoot(std::shared_ptr<SharedFile> shared);

  HRESULT STDMETHODCALLTYPE CreateStream(const OLECHAR* pwcsName, DWORD grfMode, DWORD reserved1,
                                         DWORD reserved2, IStream** ppstm) override;
  HRESULT STDMETHODCALLTYPE OpenStream(const OLECHAR* pwcsName, void* reserved1, DWORD grfMode,
                                       DWORD reserved2, IStream** ppstm) override;
  HRESULT STDMETHODCALLTYPE CreateStorage(const OLECHAR* pwcsName, DWORD grfMode, DWORD reserved1,
                                          DWORD reserved2, IStorage** ppstg) override;
  HRESULT STDMETHODCALLTYPE OpenStorage(const OLECHAR* pwcsName, IStorage* pstgPriority,
                                        DWORD grfMode, SNB snbExclude, DWORD reserved,
                                        IStorage** ppstg) override;
  HRESULT STDMETHODCALLTYPE CopyTo(DWORD ciidExclude, const IID* rgiidExclude, SNB snbExclude,
                                   IStorage* pstgDest) override;
  HRESULT STDMETHODCALLTYPE MoveElementTo(const OLECHAR* pwcsName, IStorage* pstgDest,
                                          const OLECHAR* pwcsNewName, DWORD grfFlags) override;
  HRESULT STDMETHODCALLTYPE Commit(DWORD grfCommitFlags) override;
  HRESULT STDMETHODCALLTYPE Revert() override;
  HRESULT STDMETHODCALLTYPE EnumElements(DWORD reserved1, void* reserved2, DWORD reserved3,
                                         IEnumSTATSTG** ppenum) override;
  HRESULT STDMETHODCALLTYPE DestroyElement(const OLECHAR* pwcsName) override;
  HRESULT STDMETHODCALLTYPE RenameElement(const OLECHAR* pwcsOldName,
                                          const OLECHAR* pwcsNewName) override;
  HRESULT STDMETHODCALLTYPE SetElementTimes(const OLECHAR* pwcsName, const FILETIME* pctime,
                                            const FILETIME* patime,
                                            const FILETIME* pmtime) override;
  HRESULT STDMETHODCALLTYPE SetClass(REFCLSID clsid) override;
  HRESULT STDMETHODCALLTYPE SetStateBits(DWORD grfStateBits, DWORD grfMask) override;
  HRESULT STDMETHODCALLTYPE Stat(STATSTG* pstatstg, DWORD grfStatFlag) override;
  // QorQueryFileRoom: the root's counts from the engine's last commit.
  HRESULT QueryRoom(QOR_FILE_ROOM& room, std::string& path) const;

 protected:
  ~Storage() override;
  bool Supports(REFIID riid) const override { return OneOf(riid, {IID_IUnknown, IID_IStorage}); }

 private:
  Storage(ElementRef element, DWORD mode, bool root);

  bool writable() const;
  // The element named in this storage, or kNoStream.
  uint32_t FindChild(cfb::CompoundFile& file, const OLECHAR* name) const;
  // S_OK with the one element of that name, or the code to answer.
  HRESULT FindOneChild(cfb::CompoundFile& file, const OLECHAR* name, uint32_t& id) const;
  HRESULT CreateChild(const OLECHAR* name, DWORD mode, cfb::EntryType type, void** out);
  HRESULT OpenChild(const OLECHAR* name, DWORD mode, cfb::EntryType type, void** out);
  bool IsSelfOrAncestorOf(IStorage* other) const;

  ElementRef element_;
  DWORD mode_;
  bool root_;
};

}  // namespace platform::ole
