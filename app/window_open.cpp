// Pictures in without a file dialog: drops (read by the file actions), the
// clipboard and camera frames; and the source picture itself.

#include "window.h"

#include "camera_input.h"
#include "file_actions.h"
#include "preview.h"
#include "status_line.h"
#include "view.h"

#include <QApplication>
#include <QClipboard>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

void Window::vReplaceSourceImage(Image* poImage)
{
    m_poSourceOwner.reset(poImage);
    m_poSourceImage = poImage;
    m_poView->vSetSource(poImage);
}

void Window::dragEnterEvent(QDragEnterEvent* poEvent)
{
    if (!m_poCameraInput->m_bLive && poEvent->mimeData()->hasUrls())
        poEvent->acceptProposedAction();
    else
        poEvent->ignore();
}

void Window::dropEvent(QDropEvent* poEvent)
{
    if (m_poCameraInput->m_bLive || !poEvent->mimeData()->hasUrls())
    {
        poEvent->ignore();
        return;
    }
    QStringList asPaths;
    for (const QUrl& oUrl : poEvent->mimeData()->urls())
        asPaths << oUrl.toLocalFile();
    if (m_poFileActions->bLoadImageFiles(asPaths))
        poEvent->acceptProposedAction();
    else
        poEvent->ignore();
}

void Window::Paste()
{
    if (m_poFileActions->bBusy()) return;
    const QImage oImage = QApplication::clipboard()->image();
    Image* poImage = oImage.isNull() ? nullptr : poImageFromQImage(&oImage);
    if (!poImage)
    {
        m_poStatusLine->vShow(oImage.isNull()
                                  ? QStringLiteral("Nothing pasted: the clipboard holds no picture")
                                  : QStringLiteral("Nothing pasted: the clipboard's picture is too large"),
                              true);
        return;
    }
    vReplaceSourceImage(poImage);
    m_poView->vSetConverted(nullptr);
    m_poStatusLine->vShow(
        QStringLiteral("Pasted a picture (%1 x %2)").arg(poImage->m_iWidth).arg(poImage->m_iHeight), false);
    m_poFileActions->vSetUnnamedSource(QStringLiteral("PastedImage"));
    vSetPictureName(QStringLiteral("Pasted picture"));
    vDoUpdatePreviewImage();
    vUpdateUI();
}

void Window::vSetPictureName(const QString& sName)
{
    setWindowTitle(QStringLiteral("%1 - QEVui " QEV_APP_VERSION).arg(sName));
}

void Window::Copy()
{
    if (!m_poView->m_poConvertedImage)
    {
        m_poStatusLine->vShow(QStringLiteral("Nothing copied: no converted picture yet"), true);
        return;
    }
    QImage* poImage = poQImageFromImage(m_poView->m_poConvertedImage);
    if (!poImage->isNull())
    {
        QApplication::clipboard()->setImage(*poImage);
        m_poStatusLine->vShow(QStringLiteral("Copied the converted picture (%1 x %2) to the clipboard")
                                  .arg(poImage->width())
                                  .arg(poImage->height()),
                              false);
    }
    delete poImage;
}

void Window::processClipboardChange()
{
    m_bClipboardHasImage = !QApplication::clipboard()->image().isNull();
    vUpdateUI();
}

void Window::vCameraFrame(Image* poImage)
{
    if (poImage)
    {
        vReplaceSourceImage(poImage);
        m_poFileActions->vSetUnnamedSource(QStringLiteral("CapturedImage"));
        vSetPictureName(QStringLiteral("Camera picture"));
    }
    vDoUpdatePreviewImage();
    m_poView->m_poRenderArea->update();
}
