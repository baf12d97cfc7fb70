#include "create/BTTransfer.h"

TTrackerAnnounce::TTrackerAnnounce() : Table(std::make_unique<TObjectHash>()) {}
TTrackerAnnounce::~TTrackerAnnounce() = default;

TBTTransfer::TBTTransfer(std::string text)
    : Text(std::move(text)), Announce(std::make_unique<TTrackerAnnounce>()) {}
TBTTransfer::~TBTTransfer() = default;  // the model belongs to the driver

TQuorvaneBTTransfer::TQuorvaneBTTransfer(std::string text) : TBTTransfer(std::move(text)) {}

void TQuorvaneBTTransfer::Notify(int what) { (void)what; }

void TQuorvaneBTTransfer::Run() {}
