// Authenticated variables and the image security databases: the time-based
// authentication descriptor, signature lists and the signature type GUIDs.
#pragma once

#include "uefi/base.h"

constexpr EFI_GUID EFI_IMAGE_SECURITY_DATABASE_GUID = {
    0xD719B2CB, 0x3D3A, 0x4596, {0xA3, 0xBC, 0xDA, 0xD0, 0x0E, 0x67, 0x65, 0x6F}};

constexpr EFI_GUID EFI_CERT_SHA256_GUID = {0xC1C41626, 0x504C, 0x4092, {0xAC, 0xA9, 0x41, 0xF9, 0x36, 0x93, 0x43, 0x28}};
constexpr EFI_GUID EFI_CERT_RSA2048_GUID = {0x3C5766E8, 0x269C, 0x4E34, {0xAA, 0x14, 0xED, 0x77, 0x6E, 0x85, 0xB3, 0xB6}};
constexpr EFI_GUID EFI_CERT_RSA2048_SHA256_GUID = {
    0xE2B36190, 0x879B, 0x4A3D, {0xAD, 0x8D, 0xF2, 0xE7, 0xBB, 0xA3, 0x27, 0x84}};
constexpr EFI_GUID EFI_CERT_RSA2048_SHA1_GUID = {
    0x67F8444F, 0x8743, 0x48F1, {0xA3, 0x28, 0x1E, 0xAA, 0xB8, 0x73, 0x60, 0x80}};
constexpr EFI_GUID EFI_CERT_X509_GUID = {0xA5C059A1, 0x94E4, 0x4AA7, {0x87, 0xB5, 0xAB, 0x15, 0x5C, 0x2B, 0xF0, 0x72}};
constexpr EFI_GUID EFI_CERT_X509_SHA256_GUID = {
    0x3BD2A492, 0x96C0, 0x4079, {0xB4, 0x20, 0xFC, 0xF9, 0x8E, 0xF1, 0x03, 0xED}};
constexpr EFI_GUID EFI_CERT_X509_SHA384_GUID = {
    0x7076876E, 0x80C2, 0x4EE6, {0xAA, 0xD2, 0x28, 0xB3, 0x49, 0xA6, 0x86, 0x5B}};
constexpr EFI_GUID EFI_CERT_X509_SHA512_GUID = {
    0x446DBF63, 0x2502, 0x4CDA, {0xBC, 0xFA, 0x24, 0x65, 0xD2, 0xB0, 0xFE, 0x9D}};
constexpr EFI_GUID EFI_CERT_TYPE_PKCS7_GUID = {
    0x4AAFD29D, 0x68DF, 0x49EE, {0x8A, 0xA9, 0x34, 0x7D, 0x37, 0x56, 0x65, 0xA7}};

constexpr UINT16 WIN_CERT_REVISION_2_0 = 0x0200;
constexpr UINT16 WIN_CERT_TYPE_EFI_GUID = 0x0EF1;

struct WIN_CERTIFICATE {
  UINT32 dwLength;  // header and certificate data
  UINT16 wRevision;
  UINT16 wCertificateType;
};
static_assert(sizeof(WIN_CERTIFICATE) == 8);

// Followed by dwLength - 24 bytes of certificate data.
struct WIN_CERTIFICATE_UEFI_GUID {
  WIN_CERTIFICATE Hdr;
  EFI_GUID CertType;
};
static_assert(offsetof(WIN_CERTIFICATE_UEFI_GUID, CertType) == 8);
static_assert(sizeof(WIN_CERTIFICATE_UEFI_GUID) == 24);

// Leads the data of a time-based authenticated SetVariable.
struct EFI_VARIABLE_AUTHENTICATION_2 {
  EFI_TIME TimeStamp;
  WIN_CERTIFICATE_UEFI_GUID AuthInfo;
};
static_assert(offsetof(EFI_VARIABLE_AUTHENTICATION_2, AuthInfo) == 16);
static_assert(offsetof(EFI_VARIABLE_AUTHENTICATION_2, AuthInfo.Hdr.wRevision) == 20);
static_assert(offsetof(EFI_VARIABLE_AUTHENTICATION_2, AuthInfo.Hdr.wCertificateType) == 22);
static_assert(offsetof(EFI_VARIABLE_AUTHENTICATION_2, AuthInfo.CertType) == 24);
static_assert(sizeof(EFI_VARIABLE_AUTHENTICATION_2) == 40);

// Followed by SignatureHeaderSize header bytes, then signatures of
// SignatureSize bytes each, up to SignatureListSize.
struct EFI_SIGNATURE_LIST {
  EFI_GUID SignatureType;
  UINT32 SignatureListSize;
  UINT32 SignatureHeaderSize;
  UINT32 SignatureSize;
};
static_assert(offsetof(EFI_SIGNATURE_LIST, SignatureListSize) == 16);
static_assert(offsetof(EFI_SIGNATURE_LIST, SignatureHeaderSize) == 20);
static_assert(offsetof(EFI_SIGNATURE_LIST, SignatureSize) == 24);
static_assert(sizeof(EFI_SIGNATURE_LIST) == 28);

// Followed by the signature bytes.
struct EFI_SIGNATURE_DATA {
  EFI_GUID SignatureOwner;
};
static_assert(sizeof(EFI_SIGNATURE_DATA) == 16);
