// The spreadsheet automation over LibreOffice Calc, reached through UNO over a named pipe.
// Built as a module the program loads at run time, so the program itself never depends on the
// office libraries.
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QThread>
#include <QElapsedTimer>

#include <atomic>
#include <mutex>

#include <com/sun/star/awt/XTopWindow.hpp>
#include <com/sun/star/awt/XWindow.hpp>
#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/bridge/BridgeFactory.hpp>
#include <com/sun/star/bridge/XBridge.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/connection/Connector.hpp>
#include <com/sun/star/connection/XConnection.hpp>
#include <com/sun/star/frame/Desktop.hpp>
#include <com/sun/star/frame/XComponentLoader.hpp>
#include <com/sun/star/frame/XController.hpp>
#include <com/sun/star/frame/XDesktop2.hpp>
#include <com/sun/star/frame/XFrame.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/lang/DisposedException.hpp>
#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/sheet/XCellRangeAddressable.hpp>
#include <com/sun/star/sheet/XCellRangeFormula.hpp>
#include <com/sun/star/sheet/XSheetCellCursor.hpp>
#include <com/sun/star/sheet/XSpreadsheet.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/sheet/XSpreadsheetView.hpp>
#include <com/sun/star/sheet/XSpreadsheets.hpp>
#include <com/sun/star/sheet/XUsedAreaCursor.hpp>
#include <com/sun/star/table/XCell.hpp>
#include <com/sun/star/table/XCellRange.hpp>
#include <com/sun/star/table/XColumnRowRange.hpp>
#include <com/sun/star/table/XTableColumns.hpp>
#include <com/sun/star/text/XText.hpp>
#include <com/sun/star/uno/XComponentContext.hpp>
#include <com/sun/star/view/XSelectionSupplier.hpp>
#include <cppuhelper/bootstrap.hxx>
#include <rtl/bootstrap.hxx>

#include "platform/SpreadsheetAutomation.h"

namespace css = com::sun::star;
using rtl::OUString;
using css::uno::Any;
using css::uno::Reference;
using css::uno::Sequence;
using css::uno::UNO_QUERY;
using css::uno::UNO_QUERY_THROW;

namespace {

OUString ToOU(const QString& text) {
  return OUString(reinterpret_cast<const sal_Unicode*>(text.utf16()), static_cast<sal_Int32>(text.size()));
}

QString FromOU(const OUString& text) {
  return QString::fromUtf16(reinterpret_cast<const char16_t*>(text.getStr()), text.getLength());
}

// The local UNO environment, set up once per process and kept to its end: tearing it down
// while bridges may still run their threads is not safe.
Reference<css::uno::XComponentContext> LocalContext(QString& error) {
  static std::mutex mutex;
  static Reference<css::uno::XComponentContext>* context = nullptr;
  static QString failure;
  std::lock_guard lock(mutex);
  if (!context && failure.isEmpty()) {
    try {
      // Without it the client cannot find the office's type libraries and crashes on the first
      // call. Set through the bootstrap API rather than the environment, which other threads read.
      rtl::Bootstrap::set(OUString("URE_BOOTSTRAP"),
                          OUString("vnd.sun.star.pathname:" VELTRANO_LO_PROGRAM_DIR "/fundamentalrc"));
      context = new Reference<css::uno::XComponentContext>(cppu::defaultBootstrap_InitialComponentContext());
    } catch (const css::uno::Exception& e) {
      failure = FromOU(e.Message);
      if (failure.isEmpty()) failure = QStringLiteral("UNO");
    }
  }
  error = failure;
  return context ? *context : Reference<css::uno::XComponentContext>();
}

class OfficeAutomation final : public platform::SpreadsheetAutomation {
public:
  explicit OfficeAutomation(const platform::SpreadsheetOptions& options) : FOptions(options) {}
  ~OfficeAutomation() override { Disconnect(); }

  bool Attach() override {
    if (FAborted) return false;
    QString error;
    const Reference<css::uno::XComponentContext> local = LocalContext(error);
    if (!local.is()) return false;
    try {
      Reference<css::connection::XConnector> connector = css::connection::Connector::create(local);
      Reference<css::connection::XConnection> connection =
          connector->connect(OUString("pipe,name=") + ToOU(FOptions.pipeName));
      Reference<css::bridge::XBridgeFactory2> factory = css::bridge::BridgeFactory::create(local);
      Reference<css::bridge::XBridge> bridge = factory->createBridge(OUString(), OUString("urp"), connection, nullptr);
      {
        std::lock_guard lock(FMutex);
        FConnection = connection;
        FBridge = bridge;
      }
      if (FAborted) {
        Disconnect();
        return false;
      }
      Reference<css::uno::XComponentContext> remote(bridge->getInstance(OUString("StarOffice.ComponentContext")),
                                                    UNO_QUERY_THROW);
      FRemote = remote;
      return true;
    } catch (const css::uno::Exception&) {
      Disconnect();
      return false;
    }
  }

  bool Start() override {
    if (FAborted) return false;
    if (!Launch()) return false;
    // The office, or the user's running one taking the hand-over, opens the pipe a little later.
    QElapsedTimer waited;
    waited.start();
    while (!FAborted) {
      if (Attach()) return true;
      if (waited.elapsed() > FOptions.startTimeoutMs) break;
      QThread::msleep(100);
    }
    return false;
  }

  bool Show() override {
    return Call([&] {
      FDesktop = css::frame::Desktop::create(FRemote);
    });
  }

  bool AddWorkbook() override {
    return Call([&] {
      Reference<css::frame::XComponentLoader> loader(FDesktop, UNO_QUERY_THROW);
      Sequence<css::beans::PropertyValue> args;
      if (FOptions.hiddenDocuments) {
        args.realloc(1);
        args.getArray()[0].Name = OUString("Hidden");
        args.getArray()[0].Value <<= true;
      }
      Reference<css::lang::XComponent> document =
          loader->loadComponentFromURL(OUString("private:factory/scalc"), OUString("_blank"), 0, args);
      Reference<css::sheet::XSpreadsheetDocument> sheets(document, UNO_QUERY_THROW);
      FModel.set(document, UNO_QUERY_THROW);
      FController = FModel->getCurrentController();
      Reference<css::sheet::XSpreadsheetView> view(FController, UNO_QUERY);
      if (view.is())
        FSheet = view->getActiveSheet();
      else
        FSheet.set(Reference<css::container::XIndexAccess>(sheets->getSheets(), UNO_QUERY_THROW)->getByIndex(0),
                   UNO_QUERY_THROW);
      if (!FOptions.hiddenDocuments && FController.is()) {
        // The new workbook comes to the front, as a freshly added one does.
        Reference<css::frame::XFrame> frame = FController->getFrame();
        if (frame.is()) {
          Reference<css::awt::XWindow> window = frame->getContainerWindow();
          if (window.is()) window->setVisible(true);
          Reference<css::awt::XTopWindow> top(window, UNO_QUERY);
          if (top.is()) top->toFront();
        }
      }
    });
  }

  bool SetCell(int32_t row, int32_t col, const QString& value) override {
    return Call([&] {
      Reference<css::table::XCell> cell = Sheet()->getCellByPosition(col - 1, row - 1);
      PutCell(cell, value);
    });
  }

  bool SetCells(int32_t row, int32_t col, bool horizontal, const QStringList& values) override {
    if (values.isEmpty()) return true;
    return Call([&] {
      const auto n = static_cast<sal_Int32>(values.size());
      const sal_Int32 c0 = col - 1;
      const sal_Int32 r0 = row - 1;
      Reference<css::table::XCellRange> range = Sheet()->getCellRangeByPosition(
          c0, r0, horizontal ? c0 + n - 1 : c0, horizontal ? r0 : r0 + n - 1);
      Sequence<Sequence<OUString>> formulas(horizontal ? 1 : n);
      auto* lines = formulas.getArray();
      if (horizontal) lines[0].realloc(n);
      bool anyText = false;
      for (sal_Int32 i = 0; i < n; ++i) {
        const bool text = IsFormulaLike(values[i]);
        anyText = anyText || text;
        const OUString formula = text ? OUString() : ToOU(values[i]);
        if (horizontal) {
          lines[0].getArray()[i] = formula;
        } else {
          lines[i].realloc(1);
          lines[i].getArray()[0] = formula;
        }
      }
      Reference<css::sheet::XCellRangeFormula>(range, UNO_QUERY_THROW)->setFormulaArray(formulas);
      if (!anyText) return;
      for (sal_Int32 i = 0; i < n; ++i) {
        if (!IsFormulaLike(values[i])) continue;
        PutCell(range->getCellByPosition(horizontal ? i : 0, horizontal ? 0 : i), values[i]);
      }
    });
  }

  bool SelectAll() override {
    return Call([&] {
      Reference<css::sheet::XSheetCellCursor> cursor = Sheet()->createCursor();
      Reference<css::sheet::XUsedAreaCursor> used(cursor, UNO_QUERY_THROW);
      used->gotoStartOfUsedArea(false);
      used->gotoEndOfUsedArea(true);
      FSelected.set(cursor, UNO_QUERY_THROW);
      Reference<css::view::XSelectionSupplier> selection(FController, UNO_QUERY);
      if (selection.is()) selection->select(Any(FSelected));
    });
  }

  bool FitColumns() override {
    return Call([&] {
      if (!FSelected.is()) throw css::uno::RuntimeException(OUString("Keine Auswahl"));
      Reference<css::table::XColumnRowRange> columns(FSelected, UNO_QUERY_THROW);
      Reference<css::beans::XPropertySet>(columns->getColumns(), UNO_QUERY_THROW)
          ->setPropertyValue(OUString("OptimalWidth"), Any(true));
    });
  }

  QString ErrorText() const override { return FError; }

  void Abort() override {
    FAborted = true;
    Disconnect();
  }

private:
  // A text that the office would run as a formula goes in as plain text: a name from a
  // participant list must never execute.
  static bool IsFormulaLike(const QString& value) { return value.startsWith(u'='); }

  void PutCell(const Reference<css::table::XCell>& cell, const QString& value) {
    if (IsFormulaLike(value))
      Reference<css::text::XText>(cell, UNO_QUERY_THROW)->setString(ToOU(value));
    else
      cell->setFormula(ToOU(value));  // reads numeric text the same whatever the office language
  }

  const Reference<css::sheet::XSpreadsheet>& Sheet() const {
    if (!FSheet.is()) throw css::uno::RuntimeException(OUString("Keine Arbeitsmappe"));
    return FSheet;
  }

  template <typename F>
  bool Call(F&& body) {
    FError.clear();
    if (FAborted || !FRemote.is()) {
      FError = QStringLiteral("Die Verbindung zur Tabellenkalkulation ist abgebrochen.");
      return false;
    }
    try {
      body();
      return true;
    } catch (const css::lang::DisposedException& e) {
      FError = QStringLiteral("Die Verbindung zur Tabellenkalkulation ist abgebrochen.");
      if (!e.Message.isEmpty()) FError += QStringLiteral("\n(") + FromOU(e.Message) + u')';
    } catch (const css::uno::Exception& e) {
      FError = QStringLiteral("Die Tabellenkalkulation meldet einen Fehler.");
      if (!e.Message.isEmpty()) FError += QStringLiteral("\n(") + FromOU(e.Message) + u')';
    } catch (const std::exception& e) {
      FError = QStringLiteral("Die Tabellenkalkulation meldet einen Fehler.\n(") + QString::fromLocal8Bit(e.what()) + u')';
    }
    return false;
  }

  // Starts the office detached, so it lives on after the program and belongs to the user.
  bool Launch() {
    QStringList arguments{QStringLiteral("--norestore"), QStringLiteral("--nologo"), QStringLiteral("--nodefault"),
                          QStringLiteral("--accept=pipe,name=%1;urp;").arg(FOptions.pipeName)};
    arguments << FOptions.extraArguments;
    QProcess process;
    process.setProgram(QStringLiteral(VELTRANO_LO_PROGRAM_DIR "/soffice"));
    process.setArguments(arguments);
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    return process.startDetached();
  }

  // Ends the bridge: a call waiting on it returns with an error.
  void Disconnect() {
    Reference<css::bridge::XBridge> bridge;
    Reference<css::connection::XConnection> connection;
    {
      std::lock_guard lock(FMutex);
      bridge = FBridge;
      connection = FConnection;
    }
    try {
      if (Reference<css::lang::XComponent> component{bridge, UNO_QUERY}; component.is()) component->dispose();
      else if (connection.is()) connection->close();
    } catch (const css::uno::Exception&) {
      // Already gone.
    }
  }

  platform::SpreadsheetOptions FOptions;
  std::atomic<bool> FAborted{false};
  std::mutex FMutex;  // guards the two references Abort reads from another thread
  Reference<css::connection::XConnection> FConnection;
  Reference<css::bridge::XBridge> FBridge;
  Reference<css::uno::XComponentContext> FRemote;
  Reference<css::frame::XDesktop2> FDesktop;
  Reference<css::frame::XModel> FModel;
  Reference<css::frame::XController> FController;
  Reference<css::sheet::XSpreadsheet> FSheet;
  Reference<css::table::XCellRange> FSelected;
  QString FError;
};

}  // namespace

extern "C" __attribute__((visibility("default"))) platform::SpreadsheetAutomation*
VeltranoCreateSpreadsheetAutomation(const platform::SpreadsheetOptions* options) {
  return new OfficeAutomation(options ? *options : platform::SpreadsheetOptions{});
}
