#pragma once
// The recoil patterns of a product that compensates them (the mouse): the
// four pattern files of its folder go to it as one image. A device reports
// it as its `recoil` capability.
namespace m470 {

class RecoilUpload {
public:
    virtual ~RecoilUpload() = default;
    // The four pattern files as one image; nothing is sent and
    // kResultTooLarge returned when the image would exceed 65,535 bytes.
    virtual int WriteRecoilPatterns() = 0;
};

}  // namespace m470
