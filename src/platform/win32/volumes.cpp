// Windows volumes: serials from GetVolumeInformationW, drive classes from the drive
// type and the storage bus, and ejection of removable media. The Windows 9x ejection
// branch is not kept: the program runs on the NT family only.
#include <windows.h>
#include <winioctl.h>
#include <setupapi.h>
#include <cfgmgr32.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/volumes.h"
#include "platform/win32/handles.h"

namespace crvl::platform {

namespace {

// {53F56307-B6BF-11D0-94F2-00A0C91EFB8B} and {53F56308-...}: disks and CD-ROM drives.
constexpr GUID kDiskInterface = {0x53F56307, 0xB6BF, 0x11D0,
                                 {0x94, 0xF2, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B}};
constexpr GUID kCdRomInterface = {0x53F56308, 0xB6BF, 0x11D0,
                                  {0x94, 0xF2, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B}};
constexpr int kBusUsb = 7;
constexpr int kBusSd = 12;

struct DeviceInfoListTraits {
  using Type = HDEVINFO;
  static Type empty() noexcept { return INVALID_HANDLE_VALUE; }
  static bool valid(Type h) noexcept { return h != INVALID_HANDLE_VALUE; }
  static void close(Type h) noexcept { SetupDiDestroyDeviceInfoList(h); }
};
using DeviceInfoList = UniqueHandle<DeviceInfoListTraits>;

wchar_t upperLetter(char16_t letter) noexcept {
  if (letter >= u'a' && letter <= u'z') return static_cast<wchar_t>(letter - u'a' + u'A');
  return static_cast<wchar_t>(letter);
}

bool isLetter(wchar_t c) noexcept { return c >= L'A' && c <= L'Z'; }

HANDLE openDevice(const wchar_t* prefix, wchar_t letter, DWORD access, DWORD share) {
  std::wstring name = prefix;
  name.push_back(letter);
  name.push_back(L':');
  return CreateFileW(name.c_str(), access, share, /*lpSecurityAttributes=*/nullptr,
                     OPEN_EXISTING, 0, /*hTemplateFile=*/nullptr);
}

// The storage bus of an open device, or -1 when it cannot be queried.
int busTypeOf(HANDLE device) {
  STORAGE_PROPERTY_QUERY query{};
  query.PropertyId = StorageDeviceProperty;
  query.QueryType = PropertyStandardQuery;
  alignas(8) unsigned char buffer[1024] = {};
  DWORD got = 0;
  if (!DeviceIoControl(device, IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof query, buffer,
                       sizeof buffer, &got, /*lpOverlapped=*/nullptr) ||
      got < offsetof(STORAGE_DEVICE_DESCRIPTOR, BusType) + sizeof(STORAGE_BUS_TYPE)) {
    return -1;
  }
  STORAGE_DEVICE_DESCRIPTOR descriptor;
  std::memcpy(&descriptor, buffer, sizeof descriptor);
  return static_cast<int>(descriptor.BusType);
}

bool deviceNumberOf(HANDLE device, STORAGE_DEVICE_NUMBER* number) {
  DWORD got = 0;
  return DeviceIoControl(device, IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0, number,
                         sizeof *number, &got, /*lpOverlapped=*/nullptr) != 0;
}

// The root GetVolumeInformationW needs: "C:\" or "\\server\share\".
std::wstring volumeRoot(std::u16string_view path) {
  std::wstring p(reinterpret_cast<const wchar_t*>(path.data()), path.size());
  for (wchar_t& c : p) {
    if (c == L'/') c = L'\\';
  }
  if (p.rfind(L"\\\\?\\UNC\\", 0) == 0) {
    p = L"\\\\" + p.substr(8);
  } else if (p.rfind(L"\\\\?\\", 0) == 0) {
    p = p.substr(4);
  }
  if (p.size() >= 2 && p[1] == L':') return p.substr(0, 2) + L"\\";
  if (p.size() >= 2 && p[0] == L'\\' && p[1] == L'\\') {
    size_t server = p.find(L'\\', 2);
    if (server == std::wstring::npos) return {};
    size_t share = p.find(L'\\', server + 1);
    return (share == std::wstring::npos ? p : p.substr(0, share)) + L"\\";
  }
  return {};
}

}  // namespace

uint32_t volumeSerial(std::u16string_view path) {
  std::wstring root = volumeRoot(path);
  if (root.empty()) return 0;
  DWORD serial = 0;
  UINT oldMode = SetErrorMode(SEM_FAILCRITICALERRORS);
  BOOL ok = GetVolumeInformationW(root.c_str(), nullptr, 0, &serial, nullptr, nullptr,
                                  nullptr, 0);
  SetErrorMode(oldMode);
  return ok ? static_cast<uint32_t>(serial) : 0;
}

uint32_t presentDrives() { return static_cast<uint32_t>(GetLogicalDrives()); }

DriveClass driveClass(char16_t letter) {
  wchar_t up = upperLetter(letter);
  if (!isLetter(up) || up == L'A' || up == L'B') return DriveClass::NotSearchable;
  wchar_t root[] = {up, L':', L'\\', 0};
  switch (GetDriveTypeW(root)) {
    case DRIVE_REMOVABLE:
    case DRIVE_CDROM:
    case DRIVE_UNKNOWN:
      return DriveClass::RemovableLike;
    case DRIVE_FIXED: {
      UniqueFile device(openDevice(L"\\\\.\\", up, 0, FILE_SHARE_READ | FILE_SHARE_WRITE));
      int bus = device.valid() ? busTypeOf(device.get()) : -1;
      return bus == kBusUsb || bus == kBusSd ? DriveClass::RemovableLike : DriveClass::Fixed;
    }
    default:  // no root, network drives, RAM disks
      return DriveClass::NotSearchable;
  }
}

bool findMountWithSerial(uint32_t, std::u16string*) { return false; }

bool liesOnUnmountedMountPoint(std::u16string_view) { return false; }

int32_t removeDriveDevice(char16_t letter) {
  wchar_t up = upperLetter(letter);
  if (!isLetter(up)) return -1;
  STORAGE_DEVICE_NUMBER wanted{};
  {
    UniqueFile volume(openDevice(L"\\\\.\\", up, 0, FILE_SHARE_READ | FILE_SHARE_WRITE));
    if (!volume.valid()) return -2;
    if (!deviceNumberOf(volume.get(), &wanted)) return -3;
  }  // an open handle on the volume would veto its removal

  wchar_t root[] = {up, L':', L'\\', 0};
  const GUID* interfaceClass = nullptr;
  switch (GetDriveTypeW(root)) {
    case DRIVE_REMOVABLE:
    case DRIVE_FIXED:
      interfaceClass = &kDiskInterface;
      break;
    case DRIVE_CDROM:
      interfaceClass = &kCdRomInterface;
      break;
    default:
      break;
  }
  DEVINST instance = 0;
  if (interfaceClass != nullptr) {
    DeviceInfoList list(SetupDiGetClassDevsW(interfaceClass, nullptr, nullptr,
                                             DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));
    if (list.valid()) {
      alignas(8) unsigned char detailBuffer[1024];
      for (DWORD index = 0; instance == 0; ++index) {
        SP_DEVICE_INTERFACE_DATA interfaceData{};
        interfaceData.cbSize = sizeof interfaceData;
        if (!SetupDiEnumDeviceInterfaces(list.get(), nullptr, interfaceClass, index,
                                         &interfaceData)) {
          break;
        }
        DWORD size = 0;
        SetupDiGetDeviceInterfaceDetailW(list.get(), &interfaceData, nullptr, 0, &size, nullptr);
        if (size == 0 || size > sizeof detailBuffer) continue;
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(detailBuffer);
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
        SP_DEVINFO_DATA deviceData{};
        deviceData.cbSize = sizeof deviceData;
        if (!SetupDiGetDeviceInterfaceDetailW(list.get(), &interfaceData, detail, size, &size,
                                              &deviceData)) {
          continue;
        }
        UniqueFile device(CreateFileW(detail->DevicePath, 0, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                        nullptr, OPEN_EXISTING, 0, nullptr));
        STORAGE_DEVICE_NUMBER number{};
        if (device.valid() && deviceNumberOf(device.get(), &number) &&
            number.DeviceNumber == wanted.DeviceNumber) {
          instance = deviceData.DevInst;
        }
      }
    }
  }
  if (instance == 0) return -5;

  DEVINST parent = 0;
  CONFIGRET last = CM_Get_Parent(&parent, instance, 0);
  if (last != CR_SUCCESS) return static_cast<int32_t>(last);
  for (int attempt = 0; attempt < 3; ++attempt) {
    PNP_VETO_TYPE veto = PNP_VetoTypeUnknown;
    wchar_t vetoName[1024] = {};
    last = CM_Query_And_Remove_SubTreeW(parent, &veto, vetoName, 1024, 0);
    if (last == CR_ACCESS_DENIED) {
      veto = PNP_VetoTypeUnknown;
      vetoName[0] = 0;
      last = CM_Request_Device_EjectW(parent, &veto, vetoName, 1024, 0);
    }
    if (last == CR_SUCCESS && veto == PNP_VetoTypeUnknown && vetoName[0] == 0) return 0;
    if (attempt < 2) Sleep(500);
  }
  return last != CR_SUCCESS ? static_cast<int32_t>(last) : -10;
}

void ejectDrive(char16_t letter) {
  wchar_t up = upperLetter(letter);
  if (!isLetter(up)) return;
  int bus = -1;
  {
    UniqueFile device(
        openDevice(L"\\\\?\\", up, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE));
    if (device.valid()) bus = busTypeOf(device.get());
  }  // closed before the removal, which an open handle would veto
  if (bus == kBusUsb || bus == kBusSd) {
    (void)removeDriveDevice(up);
    return;
  }
  UniqueFile device(openDevice(L"\\\\.\\", up, GENERIC_READ, FILE_SHARE_READ));
  if (!device.valid()) return;
  DWORD got = 0;
  (void)DeviceIoControl(device.get(), IOCTL_STORAGE_EJECT_MEDIA, nullptr, 0, nullptr, 0, &got,
                        /*lpOverlapped=*/nullptr);
}

}  // namespace crvl::platform
