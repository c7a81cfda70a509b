// The recent-files list and its submenu.
#include "app/MRUFileList.h"

#include <QAction>
#include <QFontMetrics>
#include <QMenu>
#include <QMetaObject>

#include "app/Messages.h"
#include "platform/qt/Registry.h"

namespace sk {

namespace {

// A menu caption shows "&" only when it is doubled.
QString EscapeAmpersands(QString text) {
  return text.replace(QLatin1Char('&'), QStringLiteral("&&"));
}

}  // namespace

QString MinimizeName(const QString& path, const QFont& font, int max_width) {
  const QFontMetrics metrics(font);
  auto fits = [&](const QString& text) { return metrics.horizontalAdvance(text) <= max_width; };
  if (fits(path)) return path;

  const qsizetype last_separator =
      std::max(path.lastIndexOf(QLatin1Char('/')), path.lastIndexOf(QLatin1Char('\\')));
  const QString name = path.mid(last_separator + 1);
  QString folders = path.left(last_separator + 1);
  QString drive;
  if (folders.size() >= 2 && folders[1] == QLatin1Char(':')) {
    drive = folders.left(2);
    folders.remove(0, 2);
  }
  const QChar separator =
      folders.contains(QLatin1Char('\\')) ? QLatin1Char('\\') : QLatin1Char('/');
  const QString ellipsis = QStringLiteral("...") + separator;
  const QString rooted_ellipsis = separator + ellipsis;

  QString result = drive + folders + name;
  while (!(drive.isEmpty() && folders.isEmpty()) && !fits(result)) {
    if (folders.isEmpty()) {
      drive.clear();
    } else if (folders == rooted_ellipsis) {
      drive.clear();
      folders = ellipsis;
    } else if (folders == ellipsis || folders == QString(separator)) {
      folders.clear();
    } else {
      // Drop the first folder after the root (and after an ellipsis put there before).
      const bool rooted = folders.startsWith(separator);
      QString rest = rooted ? folders.mid(1) : folders;
      if (rest.startsWith(ellipsis)) rest.remove(0, ellipsis.size());
      const qsizetype next = rest.indexOf(separator);
      rest = next < 0 ? QString() : ellipsis + rest.mid(next + 1);
      folders = rooted ? separator + rest : rest;
    }
    result = drive + folders + name;
  }
  return result;
}

TMRUFileList::TMRUFileList(QMenu& file_menu, QAction& place_holder, QString registry_file)
    : file_menu_(file_menu),
      place_holder_(place_holder),
      registry_file_(std::move(registry_file)) {}

TMRUFileList::~TMRUFileList() = default;

void TMRUFileList::Add(const QString& path) {
  items_.removeAll(path);
  items_.prepend(path);
  while (items_.size() > kMaximum) items_.removeLast();
  BuildMenu();
}

void TMRUFileList::Remove(const QString& path) {
  if (items_.removeAll(path) > 0) BuildMenu();
}

void TMRUFileList::Choose(int index) {
  if (index < 0 || index >= items_.size()) return;
  const QString path = items_.takeAt(index);
  BuildMenu();
  if (OnMRUItemClick) OnMRUItemClick(path);
}

void TMRUFileList::Load() {
  items_.clear();
  TRegistry registry(registry_file_);
  registry.OpenKey(QString::fromUtf8(app_msg::kRecentRoot), true);
  if (registry.OpenKey(QString::fromUtf8(app_msg::kRecentSubkey), false)) {
    for (const QString& name : registry.GetValueNames()) {
      if (registry.GetDataType(name) != TRegDataType::kString) continue;
      const QString path = registry.ReadString(name);
      if (path.isEmpty() || items_.contains(path)) continue;
      items_.append(path);
      if (items_.size() == kMaximum) break;
    }
  }
  BuildMenu();
}

void TMRUFileList::Save() const {
  TRegistry registry(registry_file_);
  registry.OpenKey(QString::fromUtf8(app_msg::kRecentRoot), true);
  registry.DeleteKey(QString::fromUtf8(app_msg::kRecentSubkey));
  registry.OpenKey(QString::fromUtf8(app_msg::kRecentSubkey), true);
  for (int i = 0; i < items_.size(); ++i) {
    registry.WriteString(QStringLiteral("F%1").arg(i), items_[i]);
  }
}

QStringList TMRUFileList::Captions() const {
  QStringList captions;
  const QFont font = file_menu_.font();
  for (int i = 0; i < items_.size(); ++i) {
    captions.append(QStringLiteral("&%1 ").arg(i + 1) +
                    EscapeAmpersands(MinimizeName(items_[i], font, kMaxCaptionWidth)));
  }
  return captions;
}

void TMRUFileList::BuildMenu() {
  submenu_.reset();
  if (items_.isEmpty()) return;
  submenu_ = std::make_unique<QMenu>(QString::fromUtf8(app_msg::kReopenItem));
  const QStringList captions = Captions();
  for (int i = 0; i < captions.size(); ++i) {
    QAction* item = submenu_->addAction(captions[i]);
    item->setToolTip(items_[i]);
    // Handled after the menu has finished with the click, since the handler rebuilds the menu.
    const QString path = items_[i];
    QObject::connect(item, &QAction::triggered, &file_menu_, [this, path] {
      QMetaObject::invokeMethod(
          &file_menu_,
          [this, path] {
            if (!CanChoose || CanChoose()) Choose(static_cast<int>(items_.indexOf(path)));
          },
          Qt::QueuedConnection);
    });
  }
  file_menu_.insertMenu(&place_holder_, submenu_.get());
}

}  // namespace sk
