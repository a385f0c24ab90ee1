// The shell's records, constants and interfaces: folders, enumerators, icons, links and the
// shell allocator.
#pragma once

#include "platform/com/com_ptr.h"
#include "platform/com/guid.h"
#include "platform/com/persist.h"
#include "platform/com/result.h"
#include "platform/com/unknown.h"
#include "platform/core/file_attributes.h"
#include "platform/core/types.h"
#include "platform/shell/item_ids.h"

namespace win {

constexpr int MAX_PATH = 260;

struct WIN32_FIND_DATAW {
  DWORD dwFileAttributes = 0;
  FILETIME ftCreationTime;
  FILETIME ftLastAccessTime;
  FILETIME ftLastWriteTime;
  DWORD nFileSizeHigh = 0;
  DWORD nFileSizeLow = 0;
  DWORD dwReserved0 = 0;
  DWORD dwReserved1 = 0;
  WCHAR cFileName[MAX_PATH] = {};
  WCHAR cAlternateFileName[14] = {};
};
static_assert(sizeof(WIN32_FIND_DATAW) == 592);

struct SHFILEINFOW {
  HICON hIcon = nullptr;
  int iIcon = 0;
  DWORD dwAttributes = 0;
  WCHAR szDisplayName[MAX_PATH] = {};
  WCHAR szTypeName[80] = {};
};

// STRRET: a display name as the shell hands it over.
constexpr UINT STRRET_WSTR = 0;
constexpr UINT STRRET_OFFSET = 1;
constexpr UINT STRRET_CSTR = 2;
struct STRRET {
  UINT uType = STRRET_WSTR;
  union {
    LPWSTR pOleStr;
    UINT uOffset;
    char cStr[MAX_PATH];
  };
  STRRET() : cStr{} {}
};

// Display-name flags (SHGDN_).
constexpr DWORD SHGDN_NORMAL = 0x0000;
constexpr DWORD SHGDN_INFOLDER = 0x0001;
constexpr DWORD SHGDN_FOREDITING = 0x1000;
constexpr DWORD SHGDN_FORADDRESSBAR = 0x4000;
constexpr DWORD SHGDN_FORPARSING = 0x8000;

// Enumeration flags (SHCONTF_).
constexpr DWORD SHCONTF_FOLDERS = 0x20;
constexpr DWORD SHCONTF_NONFOLDERS = 0x40;
constexpr DWORD SHCONTF_INCLUDEHIDDEN = 0x80;
constexpr DWORD SHCONTF_NETPRINTERSRCH = 0x200;
constexpr DWORD SHCONTF_SHAREABLE = 0x400;

// Item attributes (SFGAO_).
constexpr ULONG SFGAO_CANCOPY = 0x00000001;
constexpr ULONG SFGAO_CANMOVE = 0x00000002;
constexpr ULONG SFGAO_CANLINK = 0x00000004;
constexpr ULONG SFGAO_STORAGE = 0x00000008;
constexpr ULONG SFGAO_CANRENAME = 0x00000010;
constexpr ULONG SFGAO_CANDELETE = 0x00000020;
constexpr ULONG SFGAO_HASPROPSHEET = 0x00000040;
constexpr ULONG SFGAO_DROPTARGET = 0x00000100;
constexpr ULONG SFGAO_ENCRYPTED = 0x00002000;
constexpr ULONG SFGAO_ISSLOW = 0x00004000;
constexpr ULONG SFGAO_GHOSTED = 0x00008000;
constexpr ULONG SFGAO_LINK = 0x00010000;
constexpr ULONG SFGAO_SHARE = 0x00020000;
constexpr ULONG SFGAO_READONLY = 0x00040000;
constexpr ULONG SFGAO_HIDDEN = 0x00080000;
constexpr ULONG SFGAO_NONENUMERATED = 0x00100000;
constexpr ULONG SFGAO_NEWCONTENT = 0x00200000;
constexpr ULONG SFGAO_STREAM = 0x00400000;
constexpr ULONG SFGAO_STORAGEANCESTOR = 0x00800000;
constexpr ULONG SFGAO_VALIDATE = 0x01000000;
constexpr ULONG SFGAO_REMOVABLE = 0x02000000;
constexpr ULONG SFGAO_COMPRESSED = 0x04000000;
constexpr ULONG SFGAO_BROWSABLE = 0x08000000;
constexpr ULONG SFGAO_FILESYSANCESTOR = 0x10000000;
constexpr ULONG SFGAO_FOLDER = 0x20000000;
constexpr ULONG SFGAO_FILESYSTEM = 0x40000000;
constexpr ULONG SFGAO_HASSUBFOLDER = 0x80000000;

// Special folders (CSIDL_).
constexpr int CSIDL_DESKTOP = 0;
constexpr int CSIDL_CONTROLS = 3;
constexpr int CSIDL_PRINTERS = 4;
constexpr int CSIDL_PERSONAL = 5;
constexpr int CSIDL_FAVORITES = 6;
constexpr int CSIDL_BITBUCKET = 10;
constexpr int CSIDL_DESKTOPDIRECTORY = 16;
constexpr int CSIDL_DRIVES = 17;
constexpr int CSIDL_NETWORK = 18;
constexpr int CSIDL_TEMPLATES = 21;
constexpr int CSIDL_APPDATA = 26;
constexpr int CSIDL_HISTORY = 34;

// Icon lookups (GIL_) and SHGetFileInfo flags (SHGFI_).
constexpr UINT GIL_OPENICON = 0x0001;
constexpr UINT SHGFI_LARGEICON = 0x000000000;
constexpr UINT SHGFI_SMALLICON = 0x000000001;
constexpr UINT SHGFI_OPENICON = 0x000000002;
constexpr UINT SHGFI_SHELLICONSIZE = 0x000000004;
constexpr UINT SHGFI_PIDL = 0x000000008;
constexpr UINT SHGFI_USEFILEATTRIBUTES = 0x000000010;
constexpr UINT SHGFI_DISPLAYNAME = 0x000000200;
constexpr UINT SHGFI_TYPENAME = 0x000000400;
constexpr UINT SHGFI_SYSICONINDEX = 0x000004000;

// SHGetDataFromIDList formats.
constexpr int SHGDFIL_FINDDATA = 1;
constexpr int SHGDFIL_DESCRIPTIONID = 3;

// What kind of item an ID names (SHGDFIL_DESCRIPTIONID): a kind (SHDID_) and, where the kind
// alone does not tell, a class.
struct SHDESCRIPTIONID {
  DWORD dwDescriptionId = 0;
  CLSID clsid{};
};
static_assert(sizeof(SHDESCRIPTIONID) == 20);

constexpr DWORD SHDID_ROOT_REGITEM = 1;
constexpr DWORD SHDID_FS_FILE = 2;
constexpr DWORD SHDID_FS_DIRECTORY = 3;
constexpr DWORD SHDID_FS_OTHER = 4;
constexpr DWORD SHDID_COMPUTER_REMOVABLE = 7;
constexpr DWORD SHDID_COMPUTER_FIXED = 8;

// Link lookups.
constexpr DWORD SLGP_SHORTPATH = 0x1;
constexpr DWORD SLGP_UNCPRIORITY = 0x2;
constexpr DWORD SLGP_RAWPATH = 0x4;

// Storage modes.
constexpr DWORD STGM_READ = 0x0;
constexpr DWORD STGM_WRITE = 0x1;
constexpr DWORD STGM_READWRITE = 0x2;

// Error modes.
constexpr UINT SEM_FAILCRITICALERRORS = 0x0001;
constexpr UINT SEM_NOOPENFILEERRORBOX = 0x8000;

// Drive types.
constexpr UINT DRIVE_UNKNOWN = 0;
constexpr UINT DRIVE_NO_ROOT_DIR = 1;
constexpr UINT DRIVE_REMOVABLE = 2;
constexpr UINT DRIVE_FIXED = 3;
constexpr UINT DRIVE_REMOTE = 4;

constexpr CLSID CLSID_ShellLink = MakeGuid("00021401-0000-0000-C000-000000000046");
// The desktop's own items: Computer, Home and Trash.
constexpr CLSID CLSID_MyComputer = MakeGuid("20D04FE0-3AEA-1069-A2D8-08002B30309D");
constexpr CLSID CLSID_UsersFiles = MakeGuid("59031A47-3F72-44A7-89C5-5595FE6B30EE");
constexpr CLSID CLSID_RecycleBin = MakeGuid("645FF040-5081-101B-9F08-00AA002F954E");
// This platform's class of the entries in Trash.
constexpr CLSID CLSID_TrashEntry = MakeGuid("3B8E6C1D-52A4-4F07-9E2B-7D14C0A9F365");

class IBindCtx;  // no bind contexts on this platform; always passed as null

class IMalloc : public IUnknown {
 public:
  static constexpr IID iid = MakeGuid("00000002-0000-0000-C000-000000000046");
  virtual LPVOID Alloc(SIZE_T size) = 0;
  virtual LPVOID Realloc(LPVOID block, SIZE_T size) = 0;
  virtual void Free(LPVOID block) = 0;
  virtual SIZE_T GetSize(LPVOID block) = 0;
  virtual int DidAlloc(LPVOID block) = 0;
  virtual void HeapMinimize() = 0;
};

class IEnumIDList : public IUnknown {
 public:
  static constexpr IID iid = MakeGuid("000214F2-0000-0000-C000-000000000046");
  // Hands out up to `count` task-allocated child IDs (relative lists); S_FALSE when fewer.
  virtual HRESULT Next(ULONG count, LPITEMIDLIST* ids, ULONG* fetched) = 0;
  virtual HRESULT Skip(ULONG count) = 0;
  virtual HRESULT Reset() = 0;
  virtual HRESULT Clone(IEnumIDList** copy) = 0;
};

class IShellFolder : public IUnknown {
 public:
  static constexpr IID iid = MakeGuid("000214E6-0000-0000-C000-000000000046");
  virtual HRESULT ParseDisplayName(HWND owner, IBindCtx* context, LPWSTR name, ULONG* eaten,
                                   LPITEMIDLIST* list, ULONG* attributes) = 0;
  virtual HRESULT EnumObjects(HWND owner, DWORD flags, IEnumIDList** enumerator) = 0;
  virtual HRESULT BindToObject(LPCITEMIDLIST list, IBindCtx* context, REFIID iid, void** object) = 0;
  virtual HRESULT BindToStorage(LPCITEMIDLIST list, IBindCtx* context, REFIID iid, void** object) = 0;
  // The code of a successful result is the order read as signed 16-bit.
  virtual HRESULT CompareIDs(LPARAM column, LPCITEMIDLIST first, LPCITEMIDLIST second) = 0;
  virtual HRESULT CreateViewObject(HWND owner, REFIID iid, void** object) = 0;
  virtual HRESULT GetAttributesOf(UINT count, LPCITEMIDLIST* lists, ULONG* attributes) = 0;
  virtual HRESULT GetUIObjectOf(HWND owner, UINT count, LPCITEMIDLIST* lists, REFIID iid, UINT* reserved,
                                void** object) = 0;
  virtual HRESULT GetDisplayNameOf(LPCITEMIDLIST list, DWORD flags, STRRET* name) = 0;
  virtual HRESULT SetNameOf(HWND owner, LPCITEMIDLIST list, LPCWSTR name, DWORD flags, LPITEMIDLIST* new_list) = 0;
};

class IPersistFolder : public IPersist {
 public:
  static constexpr IID iid = MakeGuid("000214EA-0000-0000-C000-000000000046");
  virtual HRESULT Initialize(LPCITEMIDLIST list) = 0;
};

class IPersistFile : public IPersist {
 public:
  static constexpr IID iid = MakeGuid("0000010B-0000-0000-C000-000000000046");
  virtual HRESULT IsDirty() = 0;
  virtual HRESULT Load(LPCWSTR file_name, DWORD mode) = 0;
  virtual HRESULT Save(LPCWSTR file_name, BOOL remember) = 0;
  virtual HRESULT SaveCompleted(LPCWSTR file_name) = 0;
  virtual HRESULT GetCurFile(LPWSTR* file_name) = 0;
};

class IShellIcon : public IUnknown {
 public:
  static constexpr IID iid = MakeGuid("000214E5-0000-0000-C000-000000000046");
  virtual HRESULT GetIconOf(LPCITEMIDLIST list, UINT flags, int* icon_index) = 0;
};

class IQueryInfo : public IUnknown {
 public:
  static constexpr IID iid = MakeGuid("00021500-0000-0000-C000-000000000046");
  // The tip is allocated with the task allocator; the caller frees it.
  virtual HRESULT GetInfoTip(DWORD flags, LPWSTR* tip) = 0;
  virtual HRESULT GetInfoFlags(DWORD* flags) = 0;
};

// The link object's readers and writers; the character type makes the wide and narrow forms.
template <class Char>
class IShellLinkT : public IUnknown {
 public:
  virtual HRESULT GetPath(Char* file, int size, void* find_data, DWORD flags) = 0;
  virtual HRESULT GetIDList(LPITEMIDLIST* list) = 0;
  virtual HRESULT SetIDList(LPCITEMIDLIST list) = 0;
  virtual HRESULT GetDescription(Char* name, int size) = 0;
  virtual HRESULT SetDescription(const Char* name) = 0;
  virtual HRESULT GetWorkingDirectory(Char* dir, int size) = 0;
  virtual HRESULT SetWorkingDirectory(const Char* dir) = 0;
  virtual HRESULT GetArguments(Char* args, int size) = 0;
  virtual HRESULT SetArguments(const Char* args) = 0;
  virtual HRESULT GetHotkey(WORD* hot_key) = 0;
  virtual HRESULT SetHotkey(WORD hot_key) = 0;
  virtual HRESULT GetShowCmd(int* show_command) = 0;
  virtual HRESULT SetShowCmd(int show_command) = 0;
  virtual HRESULT GetIconLocation(Char* icon_path, int size, int* icon_index) = 0;
  virtual HRESULT SetIconLocation(const Char* icon_path, int icon_index) = 0;
  virtual HRESULT SetRelativePath(const Char* path, DWORD reserved) = 0;
  virtual HRESULT Resolve(HWND owner, DWORD flags) = 0;
  virtual HRESULT SetPath(const Char* file) = 0;
};

class IShellLinkW : public IShellLinkT<WCHAR> {
 public:
  static constexpr IID iid = MakeGuid("000214F9-0000-0000-C000-000000000046");
};

class IShellLinkA : public IShellLinkT<CHAR> {
 public:
  static constexpr IID iid = MakeGuid("000214EE-0000-0000-C000-000000000046");
};

}  // namespace win
