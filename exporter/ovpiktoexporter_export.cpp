// Export: the list of photos, the upload sheet and the upload of one photo after another.
#include "ovpiktoexporter.h"

QStringList OvPiktoExporter::makeListOfImagesToUpload() {
    return {};
}

void OvPiktoExporter::startExport(const QString& path) {
    (void)path;
}

void OvPiktoExporter::performExport(const QString& path) {
    (void)path;
}

void OvPiktoExporter::beginImagesUpload() {}

void OvPiktoExporter::uploadImageWithIndex(int index) {
    (void)index;
}

void OvPiktoExporter::uploadImage(const QString& path) {
    (void)path;
}

double OvPiktoExporter::calcTotalUploadSize() {
    return 0.0;
}

QString OvPiktoExporter::getSelectedAlbumId() {
    return {};
}

int OvPiktoExporter::checkWhetherAlbumExists() {
    return 0;
}

int OvPiktoExporter::checkWhetherAlbumExistsWithID(const QString& albumId) {
    (void)albumId;
    return 0;
}

void OvPiktoExporter::uploadEvent(int event) {
    (void)event;
}

void OvPiktoExporter::stopUploadAndShowNetworkError() {}

QString OvPiktoExporter::buildUploadedDataSizeMessage(double uploaded, double dataSize) {
    (void)uploaded;
    (void)dataSize;
    return {};
}

void OvPiktoExporter::appendStringToTextView(QTextEdit* textView, const QString& string,
                                             bool withLinebreak) {
    (void)textView;
    (void)string;
    (void)withLinebreak;
}

void OvPiktoExporter::showUploadProgressTab() {}

void OvPiktoExporter::showUploadFailureTab() {}

void OvPiktoExporter::showUploadResultsTab() {}

void OvPiktoExporter::skippedImagesWindowDidEnd(QWidget* sheet, int returnCode,
                                                QWidget* contextInfo) {
    (void)sheet;
    (void)returnCode;
    (void)contextInfo;
}

void OvPiktoExporter::closeSkippedImagesWindow(QObject* sender) {
    (void)sender;
}

void OvPiktoExporter::cancelUpload(QObject* sender) {
    (void)sender;
}

void OvPiktoExporter::retryImageUpload(QObject* sender) {
    (void)sender;
}

void OvPiktoExporter::cancelRetryImageUpload(QObject* sender) {
    (void)sender;
}

void OvPiktoExporter::retryOnFailedImageUploadDelay(QTimer* timer) {
    (void)timer;
}

void OvPiktoExporter::closeUploadWindow(QObject* sender) {
    (void)sender;
}
