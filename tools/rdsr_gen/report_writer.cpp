#include "report_writer.h"

#include <dcmtk/config/osconfig.h>  // must come first of DCMTK's headers
#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcfilefo.h>
#include <dcmtk/dcmdata/dcsequen.h>
#include <dcmtk/dcmdata/dcuid.h>
#include <dcmtk/dcmdata/dcdicdir.h>
#include <dcmtk/dcmsr/codes/dcm.h>
#include <dcmtk/dcmsr/dsrdoc.h>
#include <dcmtk/oflog/oflog.h>

#include <zlib.h>

#include <cstdint>
#include <fstream>
#include <mutex>
#include <utility>

namespace mirelo::rdsrgen {
namespace {

using T = DSRTypes;

DSRCodedEntryValue Coded(const CodeSpec& c) { return DSRCodedEntryValue(c.value.c_str(), c.scheme.c_str(), c.meaning.c_str()); }

std::string NewUid() {
    char uid[100];
    dcmGenerateUniqueIdentifier(uid, SITE_INSTANCE_UID_ROOT);
    return uid;
}

// Each add* leaves the cursor on the new item; `child` puts it below the current one.
class TreeBuilder {
public:
    explicit TreeBuilder(DSRDocumentTree& tree) : tree_(tree) {}
    std::string error;

    void Add(bool child, T::E_RelationshipType rel, T::E_ValueType vt, const DSRCodedEntryValue& name) {
        const OFCondition c = child ? tree_.addChildContentItem(rel, vt, name, OFFalse)
                                    : tree_.addContentItem(rel, vt, name, OFFalse);
        Check(c, name);
    }
    void Code(bool child, T::E_RelationshipType rel, const DSRCodedEntryValue& name, const CodeSpec& value) {
        Add(child, rel, T::VT_Code, name);
        Check(tree_.getCurrentContentItem().setCodeValue(Coded(value), OFFalse), name);
    }
    void Text(bool child, T::E_RelationshipType rel, T::E_ValueType vt, const DSRCodedEntryValue& name,
              const std::string& value) {
        Add(child, rel, vt, name);
        Check(tree_.getCurrentContentItem().setStringValue(value.c_str(), OFFalse), name);
    }
    void Num(bool child, const DSRCodedEntryValue& name, const NumSpec& value) {
        Add(child, T::RT_contains, T::VT_Num, name);
        const DSRNumericMeasurementValue num(value.value.c_str(),
                                             DSRCodedEntryValue(value.unit.c_str(), "UCUM", value.unit.c_str()), OFFalse);
        Check(tree_.getCurrentContentItem().setNumericValue(num, OFFalse), name);
    }
    void Up() { tree_.goUp(); }

private:
    void Check(const OFCondition& c, const DSRCodedEntryValue& name) {
        if (c.bad() && error.empty()) {
            error = std::string("cannot add ") + name.getCodeMeaning().c_str() + ": " + c.text();
        }
    }
    DSRDocumentTree& tree_;
};

void AddEvent(TreeBuilder& b, const EventSpec& e, bool outOfTemplate) {
    b.Add(false, T::RT_contains, T::VT_Container, CODE_DCM_IrradiationEventXRayData);
    b.Code(true, T::RT_contains, CODE_DCM_AcquisitionPlane, e.plane);
    b.Text(false, T::RT_contains, T::VT_UIDRef, CODE_DCM_IrradiationEventUID, e.uid.empty() ? NewUid() : e.uid);
    b.Text(false, T::RT_contains, T::VT_DateTime, CODE_DCM_DateTimeStarted, e.dateTime);
    b.Code(false, T::RT_contains, CODE_DCM_IrradiationEventType, e.type);
    b.Text(false, T::RT_contains, T::VT_Text, CODE_DCM_AcquisitionProtocol, e.protocol);
    if (e.dap) {
        b.Num(false, CODE_DCM_DoseAreaProduct, *e.dap);
    }
    if (e.duration) b.Num(false, CODE_DCM_IrradiationDuration, *e.duration);
    if (e.pulses) b.Num(false, CODE_DCM_NumberOfPulses, *e.pulses);
    if (e.doseRp) b.Num(false, DSRCodedEntryValue("113738", "DCM", "Dose (RP)"), *e.doseRp);
    if (e.fieldArea) b.Num(false, CODE_DCM_CollimatedFieldArea, *e.fieldArea);
    if (outOfTemplate) {
        b.Text(false, T::RT_contains, T::VT_Text, DSRCodedEntryValue("X1", "99MIRELO", "Vendor note"), "not in any template");
        b.Add(false, T::RT_contains, T::VT_Container, DSRCodedEntryValue("X2", "99MIRELO", "Vendor block"));
        b.Num(true, DSRCodedEntryValue("X3", "99MIRELO", "Vendor number"), NumSpec{"1", "1"});
        b.Up();
    }
    for (const FilterSpec& f : e.filters) {
        b.Add(false, T::RT_contains, T::VT_Container, CODE_DCM_XRayFilters);
        b.Code(true, T::RT_contains, CODE_DCM_XRayFilterType, f.type);
        b.Code(false, T::RT_contains, CODE_DCM_XRayFilterMaterial, f.material);
        if (f.min) {
            b.Num(false, CODE_DCM_XRayFilterThicknessMinimum, *f.min);
        }
        if (f.max) {
            b.Num(false, CODE_DCM_XRayFilterThicknessMaximum, *f.max);
        }
        b.Up();
    }
    for (std::size_t i = 0; i < e.kvp.size(); ++i) {
        b.Num(false, CODE_DCM_KVP, NumSpec{e.kvp[i], "kV"});
        if (i == 0 && e.kvpMeanGiven) {
            b.Code(true, T::RT_hasConceptMod, CODE_DCM_Derivation, CodeSpec{"R-00317", "SRT", "Mean"});
            b.Up();
        }
    }
    if (!e.kvpPulses.empty()) {
        b.Num(false, CODE_DCM_KVP, NumSpec{e.kvpPulses, "kV"});
    }
    if (!e.kvpMaximum.empty()) {
        b.Num(false, CODE_DCM_KVP, NumSpec{e.kvpMaximum, "kV"});
        b.Code(true, T::RT_hasConceptMod, CODE_DCM_Derivation, CodeSpec{"G-A437", "SRT", "Maximum"});
        b.Up();
    }
    b.Up();
}

void DamageRelationshipTypes(DcmItem& dataset) {
    DcmSequenceOfItems* content = nullptr;
    if (dataset.findAndGetSequence(DCM_ContentSequence, content).bad() || content == nullptr) {
        return;
    }
    for (unsigned long i = 0; i < content->card(); ++i) {
        DcmItem* event = content->getItem(i);
        DcmSequenceOfItems* children = nullptr;
        if (event->findAndGetSequence(DCM_ContentSequence, children).good() && children && children->card() > 0) {
            children->getItem(0)->findAndDeleteElement(DCM_RelationshipType);
        }
    }
}

void AddInvalidPersonNames(DcmItem& dataset) {
    const char* invalid = "Too^Many^Name^Parts^Here^Six";
    dataset.putAndInsertString(DCM_PatientName, invalid);
    DcmSequenceOfItems* content = nullptr;
    if (dataset.findAndGetSequence(DCM_ContentSequence, content).bad() || content == nullptr) {
        return;
    }
    // A person observer (TID 1003) whose name has more components than a PN allows.
    auto* observer = new DcmItem();
    observer->putAndInsertString(DCM_RelationshipType, "HAS OBS CONTEXT");
    observer->putAndInsertString(DCM_ValueType, "PNAME");
    DcmItem* name = nullptr;
    observer->findOrCreateSequenceItem(DCM_ConceptNameCodeSequence, name, 0);
    name->putAndInsertString(DCM_CodeValue, "121008");
    name->putAndInsertString(DCM_CodingSchemeDesignator, "DCM");
    name->putAndInsertString(DCM_CodeMeaning, "Person Observer Name");
    observer->putAndInsertString(DCM_PersonName, invalid);
    content->prepend(observer);
}

void QuietDcmtk() {
    static std::once_flag once;
    std::call_once(once, [] { OFLog::configure(OFLogger::ERROR_LOG_LEVEL); });
}

}  // namespace

CodeSpec Fluoroscopy() { return {"P5-06000", "SRT", "Fluoroscopy"}; }
CodeSpec StationaryAcquisition() { return {"113611", "DCM", "Stationary Acquisition"}; }
CodeSpec PlaneA() { return {"113620", "DCM", "Plane A"}; }
CodeSpec PlaneB() { return {"113621", "DCM", "Plane B"}; }
CodeSpec SinglePlane() { return {"113622", "DCM", "Single Plane"}; }
CodeSpec Copper() { return {"C-127F9", "SRT", "Copper or Copper compound"}; }
CodeSpec Aluminum() { return {"C-120F9", "SRT", "Aluminum or Aluminum compound"}; }

std::string WriteReport(const ReportSpec& plan, const std::filesystem::path& path) {
    QuietDcmtk();
    DSRDocument doc(T::DT_XRayRadiationDoseSR);
    const std::string study = plan.studyUid.empty() ? NewUid() : plan.studyUid;
    if (doc.createNewSeriesInStudy(study.c_str()).bad()) {
        return "bad study UID " + study;
    }
    doc.setPatientName("Test^Patient");
    doc.setPatientID("MIRELO-TEST");
    doc.setManufacturer(plan.manufacturer.c_str());
    doc.setManufacturerModelName(plan.model.c_str());
    doc.setDeviceSerialNumber(plan.serial.c_str());
    doc.setSoftwareVersions("mirelo-test");

    DSRDocumentTree& tree = doc.getTree();
    TreeBuilder b(tree);
    if (tree.addContentItem(T::RT_isRoot, T::VT_Container) == 0) {
        return "cannot add the root";
    }
    tree.getCurrentContentItem().setConceptName(CODE_DCM_XRayRadiationDoseReport);
    b.Code(true, T::RT_hasConceptMod, CODE_DCM_ProcedureReported, plan.procedure);
    b.Code(false, T::RT_hasObsContext, CODE_DCM_ObserverType, CodeSpec{"121007", "DCM", "Device"});
    if (!plan.observerUid.empty()) {
        b.Text(false, T::RT_hasObsContext, T::VT_UIDRef, CODE_DCM_DeviceObserverUID, plan.observerUid);
    }
    b.Text(false, T::RT_hasObsContext, T::VT_Text, CODE_DCM_DeviceObserverManufacturer, plan.manufacturer);
    b.Text(false, T::RT_hasObsContext, T::VT_Text, CODE_DCM_DeviceObserverModelName, plan.model);
    b.Text(false, T::RT_hasObsContext, T::VT_Text, CODE_DCM_DeviceObserverSerialNumber, plan.serial);
    for (const TotalsSpec& t : plan.totals) {
        b.Add(false, T::RT_contains, T::VT_Container, CODE_DCM_AccumulatedXRayDoseData);
        b.Code(true, T::RT_contains, CODE_DCM_AcquisitionPlane, t.plane);
        if (t.dap) b.Num(false, CODE_DCM_DoseAreaProductTotal, *t.dap);
        if (t.fluoroDap) b.Num(false, CODE_DCM_FluoroDoseAreaProductTotal, *t.fluoroDap);
        if (t.acquisitionDap) b.Num(false, CODE_DCM_AcquisitionDoseAreaProductTotal, *t.acquisitionDap);
        if (t.fluoroTime) b.Num(false, CODE_DCM_TotalFluoroTime, *t.fluoroTime);
        b.Up();
    }
    for (const EventSpec& e : plan.events) {
        AddEvent(b, e, plan.outOfTemplateItems);
    }
    if (!b.error.empty()) {
        return b.error;
    }

    // A dose report is always complete.
    doc.completeDocument();
    DcmFileFormat file;
    DcmDataset& dataset = *file.getDataset();
    OFCondition c = doc.write(dataset);
    if (c.bad()) {
        return std::string("DSRDocument::write: ") + c.text();
    }
    if (plan.dropRelationshipType) {
        DamageRelationshipTypes(dataset);
    }
    if (plan.invalidPersonNames) {
        AddInvalidPersonNames(dataset);
    }
    // What the study and patient modules hold, as the bytes given.
    const std::pair<DcmTagKey, const std::string*> attributes[] = {
        {DCM_SpecificCharacterSet, &plan.characterSet}, {DCM_StudyDescription, &plan.studyDescription},
        {DCM_AccessionNumber, &plan.accessionNumber},   {DCM_StudyDate, &plan.studyDate},
        {DCM_StudyTime, &plan.studyTime},               {DCM_PatientAge, &plan.patientAge},
        {DCM_PatientSex, &plan.patientSex},             {DCM_PatientWeight, &plan.patientWeight},
        {DCM_PatientSize, &plan.patientSize}};
    for (const auto& [tag, value] : attributes) {
        if (value->empty()) {
            dataset.findAndDeleteElement(tag);
        } else {
            dataset.putAndInsertString(tag, value->c_str());
        }
    }
    if (!plan.sopInstanceUid.empty()) {
        dataset.putAndInsertString(DCM_SOPInstanceUID, plan.sopInstanceUid.c_str());
    }
    c = file.saveFile(path.c_str(), EXS_LittleEndianExplicit);
    return c.good() ? std::string() : std::string("save: ") + c.text();
}

std::string Rewrite(const std::filesystem::path& from, const std::filesystem::path& to, Layout layout) {
    QuietDcmtk();
    DcmFileFormat file;
    OFCondition c = file.loadFile(from.c_str());
    if (c.bad()) return std::string("load: ") + c.text();
    if (layout == Layout::ElementAfterContent) {
        file.getDataset()->putAndInsertString(DCM_StorageMediaFileSetUID, "1.2.826.0.1.3680043.10.1399.1");
    }
    c = file.saveFile(to.c_str(), layout == Layout::ImplicitVr ? EXS_LittleEndianImplicit : EXS_LittleEndianExplicit,
                      layout == Layout::UndefinedLengths ? EET_UndefinedLength : EET_ExplicitLength);
    return c.good() ? std::string() : std::string("save: ") + c.text();
}

std::string WriteDicomDir(const std::filesystem::path& path) {
    QuietDcmtk();
    DcmDicomDir dir(path.c_str(), "MIRELO_TEST");
    const OFCondition c = dir.write(EXS_LittleEndianExplicit);
    return c.good() ? std::string() : std::string("DICOMDIR: ") + c.text();
}

std::string WriteDeeplyNested(const std::filesystem::path& path, int levels, Nesting nesting) {
    const bool implicitVr = nesting == Nesting::ImplicitDefinedLength;
    std::string bytes;
    auto u16 = [&](unsigned v) { bytes += static_cast<char>(v & 0xFF), bytes += static_cast<char>((v >> 8) & 0xFF); };
    auto u32 = [&](std::uint32_t v) {
        for (int i = 0; i < 4; ++i) bytes += static_cast<char>((v >> (8 * i)) & 0xFF);
    };
    auto tag = [&](unsigned group, unsigned element) { u16(group), u16(element); };
    // An element of a short VR, padded to an even length; the meta group is always explicit.
    auto element = [&](unsigned group, unsigned el, const char* vr, std::string value, char pad, bool implicit) {
        if (value.size() % 2 != 0) value += pad;
        tag(group, el);
        if (implicit) {
            u32(static_cast<std::uint32_t>(value.size()));
        } else {
            bytes += vr;
            u16(static_cast<unsigned>(value.size()));
        }
        bytes += value;
    };
    const char* syntax = nesting == Nesting::ExplicitUndefinedLength ? UID_LittleEndianExplicitTransferSyntax
                         : implicitVr                                ? UID_LittleEndianImplicitTransferSyntax
                                                                     : UID_DeflatedExplicitVRLittleEndianTransferSyntax;
    const std::string sop = NewUid();
    // The meta group's elements, then their length in front of them.
    tag(0x0002, 0x0001);
    bytes += "OB";
    u16(0);
    u32(2);
    bytes += std::string("\0\1", 2);
    element(0x0002, 0x0002, "UI", UID_XRayRadiationDoseSRStorage, '\0', false);
    element(0x0002, 0x0003, "UI", sop, '\0', false);
    element(0x0002, 0x0010, "UI", syntax, '\0', false);
    std::string group;
    std::swap(group, bytes);
    bytes = std::string(128, '\0') + "DICM";
    tag(0x0002, 0x0000);
    bytes += "UL";
    u16(4);
    u32(static_cast<std::uint32_t>(group.size()));
    bytes += group;
    std::string head;
    std::swap(head, bytes);

    element(0x0008, 0x0016, "UI", UID_XRayRadiationDoseSRStorage, '\0', implicitVr);
    element(0x0008, 0x0018, "UI", sop, '\0', implicitVr);
    element(0x0020, 0x000D, "UI", NewUid(), '\0', implicitVr);
    element(0x0040, 0xA040, "CS", "CONTAINER", ' ', implicitVr);
    // Content sequence in an item in a content sequence ...
    for (int i = 0; i < levels; ++i) {
        tag(0x0040, 0xA730);
        if (implicitVr) {
            // Lengths given: the sequence at depth i holds (levels - 1 - i) sequences and items of 16 bytes of headers.
            const auto sequence = static_cast<std::uint32_t>(16 * (levels - 1 - i) + 8);
            u32(sequence);
            tag(0xFFFE, 0xE000);
            u32(sequence - 8);
        } else {
            bytes += "SQ";
            u16(0);
            u32(0xFFFFFFFFu);
            tag(0xFFFE, 0xE000);
            u32(0xFFFFFFFFu);
        }
    }
    for (int i = 0; i < levels && !implicitVr; ++i) {
        tag(0xFFFE, 0xE00D);
        u32(0);
        tag(0xFFFE, 0xE0DD);
        u32(0);
    }
    if (nesting == Nesting::Deflated) {
        z_stream zs{};
        if (deflateInit2(&zs, Z_BEST_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
            return "deflateInit2 failed";
        }
        std::string packed(deflateBound(&zs, static_cast<uLong>(bytes.size())), '\0');
        zs.next_in = reinterpret_cast<Bytef*>(bytes.data());
        zs.avail_in = static_cast<uInt>(bytes.size());
        zs.next_out = reinterpret_cast<Bytef*>(packed.data());
        zs.avail_out = static_cast<uInt>(packed.size());
        const int r = deflate(&zs, Z_FINISH);
        packed.resize(zs.total_out);
        deflateEnd(&zs);
        if (r != Z_STREAM_END) return "deflate failed";
        bytes = packed;
    }
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(head.data(), static_cast<std::streamsize>(head.size()));
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    return out.fail() ? std::string("cannot write ") + path.string() : std::string();
}

std::string WriteImage(const std::filesystem::path& path, const std::string& sopClassUid) {
    QuietDcmtk();
    DcmFileFormat file;
    DcmDataset& d = *file.getDataset();
    d.putAndInsertString(DCM_SOPClassUID, sopClassUid.empty() ? UID_SecondaryCaptureImageStorage : sopClassUid.c_str());
    d.putAndInsertString(DCM_SOPInstanceUID, NewUid().c_str());
    d.putAndInsertString(DCM_StudyInstanceUID, NewUid().c_str());
    d.putAndInsertString(DCM_SeriesInstanceUID, NewUid().c_str());
    d.putAndInsertString(DCM_Modality, "OT");
    d.putAndInsertString(DCM_PatientName, "Test^Image");
    d.putAndInsertUint16(DCM_SamplesPerPixel, 1);
    d.putAndInsertString(DCM_PhotometricInterpretation, "MONOCHROME2");
    d.putAndInsertUint16(DCM_Rows, 2);
    d.putAndInsertUint16(DCM_Columns, 2);
    d.putAndInsertUint16(DCM_BitsAllocated, 8);
    d.putAndInsertUint16(DCM_BitsStored, 8);
    d.putAndInsertUint16(DCM_HighBit, 7);
    d.putAndInsertUint16(DCM_PixelRepresentation, 0);
    const Uint8 pixels[4] = {0, 64, 128, 255};
    d.putAndInsertUint8Array(DCM_PixelData, pixels, 4);
    const OFCondition c = file.saveFile(path.c_str(), EXS_LittleEndianExplicit);
    return c.good() ? std::string() : std::string("save: ") + c.text();
}

}  // namespace mirelo::rdsrgen
